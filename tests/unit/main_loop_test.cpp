#include "app/main_loop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using CallLog = std::vector<std::string>;

using Ticks = std::vector<std::vector<Event>>;

// Delivers one scripted batch of events per update(), as if the window
// procedure had appended them while messages were pumped. An update can also
// run a system modal loop: the ticks of the window's timer, each after
// appending its own events.
struct ScriptedQueue {
    CallLog& log;
    std::vector<std::vector<Event>> batches;
    std::vector<Ticks> modalLoops; // by batch; none where empty
    std::size_t nextBatch = 0;
    std::deque<Event> events;
    std::function<void()> modalLoopFrame;

    ScriptedQueue(CallLog& log, std::vector<std::vector<Event>> batches,
                  std::vector<Ticks> modalLoops = {})
        : log(log), batches(std::move(batches)), modalLoops(std::move(modalLoops)) {}

    void update() {
        log.push_back("update");
        if (nextBatch < batches.size()) {
            for (const Event& event : batches[nextBatch]) {
                events.push_back(event);
            }
            if (nextBatch < modalLoops.size()) {
                runModalLoop(modalLoops[nextBatch]);
            }
            ++nextBatch;
        }
    }
    void runModalLoop(const Ticks& ticks) {
        for (const std::vector<Event>& tick : ticks) {
            events.insert(events.end(), tick.begin(), tick.end());
            log.push_back("tick");
            if (modalLoopFrame) {
                modalLoopFrame();
            }
        }
    }
    void setModalLoopFrame(std::function<void()> frame) { modalLoopFrame = std::move(frame); }
    bool empty() const { return events.empty(); }
    const Event& front() const { return events.front(); }
    void pop() { events.pop_front(); }

    // Returns at once in a test; says whether a message would have ended the
    // wait early, that is whether the next update delivers events.
    bool waitForMessages(std::chrono::nanoseconds timeout) {
        const bool woken = nextBatch < batches.size() && !batches[nextBatch].empty();
        log.push_back("wait " + std::to_string(timeout.count() / 1000000) + " ms" +
                      (woken ? " (woken by a message)" : ""));
        return woken;
    }
};

// Closing a real window appends the Close of its WM_DESTROY while the first
// Close is being handled; the fake does the same on its first close.
struct RecordingWindow {
    CallLog& log;
    ScriptedQueue* queue = nullptr;
    bool open = true;

    void close() {
        log.push_back(open ? "close" : "close (already closed)");
        if (open && queue != nullptr) {
            queue->events.push_back(makeEvent(EventType::Close, nullptr));
        }
        open = false;
    }
};

// Draws a frame on every call unless told that the gate is closed, with
// timeLeft to the next frame; or, where given, as the script of frames says
// (true: drawn), call by call, drawing once the script has run out.
struct RecordingRenderer {
    CallLog& log;
    bool tooEarly = false;
    std::chrono::nanoseconds timeLeft = std::chrono::milliseconds(7);
    std::deque<bool> drawn{};
    bool failsToDraw = false;

    void resize(std::uint32_t width, std::uint32_t height) {
        log.push_back("resize " + std::to_string(width) + "x" + std::to_string(height));
    }
    bool render() {
        if (failsToDraw) {
            log.push_back("render fails");
            throw std::runtime_error("lost");
        }
        bool draws = !tooEarly;
        if (!drawn.empty()) {
            draws = drawn.front();
            drawn.pop_front();
        }
        log.push_back(draws ? "render" : "render (too early)");
        return draws;
    }
    std::chrono::nanoseconds timeUntilNextFrame() const { return timeLeft; }
};

Event keyboard() {
    Event event = makeEvent(EventType::Keyboard, nullptr);
    event.data.keyboard = KeyboardData{Key::A, ButtonAction::Pressed, ModifierState{}};
    return event;
}

Event closeEvent() {
    return makeEvent(EventType::Close, nullptr);
}

CallLog runLoop(std::vector<std::vector<Event>> batches, bool closeAppendsDestroy = false,
                bool frameTooEarly = false,
                std::chrono::nanoseconds timeLeft = std::chrono::milliseconds(7)) {
    CallLog log;
    ScriptedQueue queue{log, std::move(batches)};
    RecordingWindow window{log, closeAppendsDestroy ? &queue : nullptr};
    RecordingRenderer renderer{log, frameTooEarly, timeLeft};
    runMainLoop(queue, window, renderer);
    return log;
}

TEST(MainLoop, TwoResizesInOneDrainResizeTwiceInOrderAndRenderNothing) {
    const CallLog log = runLoop({
        {makeResizeEvent(nullptr, 774, 774, false), makeResizeEvent(nullptr, 758, 735, false)},
        {closeEvent()},
    });
    EXPECT_EQ(log, (CallLog{"update", "resize 774x774", "resize 758x735", "update", "close"}));
}

TEST(MainLoop, AResizeQueuedBehindCloseIsStillHandledThenTheLoopEnds) {
    const CallLog log = runLoop({{closeEvent(), makeResizeEvent(nullptr, 0, 0, false)}});
    EXPECT_EQ(log, (CallLog{"update", "close", "resize 0x0"}));
}

TEST(MainLoop, TwoClosesAreBothDrainedAndTheSecondFindsTheWindowClosed) {
    const CallLog log = runLoop({{closeEvent()}}, /*closeAppendsDestroy=*/true);
    EXPECT_EQ(log, (CallLog{"update", "close", "close (already closed)"}));
}

TEST(MainLoop, OtherEventsAreDroppedAndTheIterationRenders) {
    Event focus = makeEvent(EventType::Focus, nullptr);
    focus.data.focus.focused = true;
    const CallLog log = runLoop({
        {keyboard(), focus, makeEvent(EventType::Paint, nullptr)},
        {},
        {closeEvent()},
    });
    EXPECT_EQ(log, (CallLog{"update", "render", "update", "render", "update", "close"}));
}

TEST(MainLoop, AMinimisedWindowsZeroSizeReachesTheRendererUnchanged) {
    const CallLog log = runLoop({{makeResizeEvent(nullptr, 0, 0, false)}, {closeEvent()}});
    EXPECT_EQ(log, (CallLog{"update", "resize 0x0", "update", "close"}));
}

// Idle waits end the wake-up margin (1 ms) before the frame is due.
TEST(MainLoop, EveryIdleIterationBeforeTheNextFrameWaitsOnceForTheTimeLeft) {
    const CallLog log = runLoop({{}, {}, {closeEvent()}}, false, /*frameTooEarly=*/true);
    EXPECT_EQ(log,
              (CallLog{"update", "render (too early)", "wait 6 ms", "update", "render (too early)",
                       "wait 6 ms (woken by a message)", "update", "close"}));
}

TEST(MainLoop, AMessageEndsTheWaitAndIsPumpedAtOnce) {
    const CallLog log = runLoop({{}, {makeResizeEvent(nullptr, 800, 600, false)}, {closeEvent()}},
                                false, /*frameTooEarly=*/true);
    EXPECT_EQ(log, (CallLog{"update", "render (too early)", "wait 6 ms (woken by a message)",
                            "update", "resize 800x600", "update", "close"}));
}

TEST(MainLoop, WithinTheWakeUpMarginOfTheNextFrameItPumpsAgainAtOnce) {
    const CallLog log = runLoop({{}, {closeEvent()}}, false, /*frameTooEarly=*/true,
                                std::chrono::microseconds(600));
    EXPECT_EQ(log, (CallLog{"update", "render (too early)", "update", "close"}));
}

TEST(MainLoop, AnIterationThatHandledEventsOrDrewAFrameDoesNotWait) {
    EXPECT_EQ(runLoop({{keyboard()}, {closeEvent()}}, false, /*frameTooEarly=*/true),
              (CallLog{"update", "render (too early)", "update", "close"}));
    EXPECT_EQ(runLoop({{}, {closeEvent()}}), (CallLog{"update", "render", "update", "close"}));
}

CallLog runLoopWithModalLoop(std::vector<std::vector<Event>> batches, std::vector<Ticks> loops,
                             std::deque<bool> drawn = {}) {
    CallLog log;
    ScriptedQueue queue{log, std::move(batches), std::move(loops)};
    RecordingWindow window{log};
    RecordingRenderer renderer{log};
    renderer.drawn = std::move(drawn);
    runMainLoop(queue, window, renderer);
    return log;
}

TEST(MainLoopInASystemModalLoop, EveryTickOfTheWindowsTimerRunsTheLoopsOwnPassWithoutPumping) {
    const CallLog log = runLoopWithModalLoop({{}, {closeEvent()}}, {{{}, {}, {}}});
    EXPECT_EQ(log, (CallLog{"update", "tick", "render", "tick", "render", "tick", "render",
                            "render", "update", "close"}));
}

TEST(MainLoopInASystemModalLoop, EventsQueuedDuringTheLoopAreDrainedInOrderByItsTicks) {
    const CallLog log = runLoopWithModalLoop(
        {{}, {closeEvent()}},
        {{{makeResizeEvent(nullptr, 800, 600, true), makeResizeEvent(nullptr, 784, 561, false)},
          {keyboard()}}});
    EXPECT_EQ(log, (CallLog{"update", "tick", "resize 800x600", "resize 784x561", "tick", "render",
                            "render", "update", "close"}));
}

// The first pass finds the frame not yet due and waits (no message comes);
// the next pass draws it, all inside the same tick.
TEST(MainLoopInASystemModalLoop, ATickWaitsForAFrameThatIsNotDueYetAndThenDrawsIt) {
    const CallLog log = runLoopWithModalLoop({{}, {closeEvent()}}, {{{}}}, {false, true});
    EXPECT_EQ(log, (CallLog{"update", "tick", "render (too early)", "wait 6 ms", "render", "render",
                            "update", "close"}));
}

TEST(MainLoopInASystemModalLoop, ACloseDrainedInsideTheLoopEndsTheProgramWithoutAnotherFrame) {
    const CallLog log = runLoopWithModalLoop({{}, {}}, {{{closeEvent()}, {}}});
    EXPECT_EQ(log, (CallLog{"update", "tick", "close", "tick"}));
}

TEST(MainLoopInASystemModalLoop, AFailureClosesTheWindowAndIsThrownOnceTheSystemsLoopEnds) {
    CallLog log;
    ScriptedQueue queue{log, {{}, {}}, {{{}, {}}}};
    RecordingWindow window{log};
    RecordingRenderer renderer{log};
    renderer.failsToDraw = true;
    EXPECT_THROW(runMainLoop(queue, window, renderer), std::runtime_error);
    EXPECT_EQ(log, (CallLog{"update", "tick", "render fails", "close", "tick"}));
    EXPECT_FALSE(queue.modalLoopFrame) << "a loop that ended leaves no frame behind";
}

TEST(DrainEvents, ReportsWhetherToRenderAndWhetherToGoOn) {
    CallLog log;
    ScriptedQueue queue{log, {{keyboard()}}};
    RecordingWindow window{log};
    RecordingRenderer renderer{log};
    queue.update();
    const DrainOutcome outcome = drainEvents(queue, window, renderer);
    EXPECT_TRUE(outcome.renderThisFrame);
    EXPECT_TRUE(outcome.running);
    EXPECT_TRUE(queue.empty());
}

} // namespace
