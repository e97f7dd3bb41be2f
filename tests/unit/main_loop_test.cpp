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

// The messages a system modal loop takes from the queue, each with the
// events its dispatch appended.
using Taken = std::vector<std::vector<Event>>;

// Delivers one scripted batch of events per update(), as if the window
// procedure had appended them while messages were pumped. An update can also
// run a system modal loop: it takes its messages one by one, and each gives
// the main loop's system-loop pass its chance, as the thread's message hook
// does, logging when the pass asks to run again.
struct ScriptedQueue {
    CallLog& log;
    std::vector<std::vector<Event>> batches;
    std::vector<Taken> systemLoops; // by batch; none where empty
    std::size_t nextBatch = 0;
    std::deque<Event> events;
    std::function<std::chrono::nanoseconds()> systemLoopPass;

    ScriptedQueue(CallLog& log, std::vector<std::vector<Event>> batches,
                  std::vector<Taken> systemLoops = {})
        : log(log), batches(std::move(batches)), systemLoops(std::move(systemLoops)) {}

    void update() {
        log.push_back("update");
        if (nextBatch < batches.size()) {
            for (const Event& event : batches[nextBatch]) {
                events.push_back(event);
            }
            if (nextBatch < systemLoops.size()) {
                runSystemLoop(systemLoops[nextBatch]);
            }
            ++nextBatch;
        }
    }
    void runSystemLoop(const Taken& taken) {
        for (const std::vector<Event>& message : taken) {
            events.insert(events.end(), message.begin(), message.end());
            log.push_back("taken");
            if (systemLoopPass) {
                const auto again =
                    std::chrono::duration_cast<std::chrono::milliseconds>(systemLoopPass());
                log.push_back("again in " + std::to_string(again.count()) + " ms");
            }
        }
    }
    void setSystemLoopPass(std::function<std::chrono::nanoseconds()> pass) {
        systemLoopPass = std::move(pass);
    }
    bool empty() const { return events.empty(); }
    const Event& front() const { return events.front(); }
    void pop() { events.pop_front(); }

    void waitOut(std::chrono::nanoseconds duration) {
        log.push_back("wait out " + std::to_string(duration.count() / 1000) + " us");
    }

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

CallLog runLoopWithSystemLoop(std::vector<std::vector<Event>> batches, std::vector<Taken> loops,
                              std::deque<bool> drawn = {},
                              std::chrono::nanoseconds timeLeft = std::chrono::milliseconds(7)) {
    CallLog log;
    ScriptedQueue queue{log, std::move(batches), std::move(loops)};
    RecordingWindow window{log};
    RecordingRenderer renderer{log};
    renderer.drawn = std::move(drawn);
    renderer.timeLeft = timeLeft;
    runMainLoop(queue, window, renderer);
    return log;
}

TEST(MainLoopInASystemLoop, EveryMessageTheSystemsLoopTakesRunsAPassWithoutPumpingOrWaiting) {
    const CallLog log = runLoopWithSystemLoop({{}, {closeEvent()}}, {{{}, {}, {}}});
    EXPECT_EQ(log, (CallLog{"update", "taken", "render", "again in 6 ms", "taken", "render",
                            "again in 6 ms", "taken", "render", "again in 6 ms", "render", "update",
                            "close"}));
}

TEST(MainLoopInASystemLoop, EventsQueuedDuringTheLoopAreDrainedInOrderByItsPasses) {
    const CallLog log = runLoopWithSystemLoop(
        {{}, {closeEvent()}},
        {{{makeResizeEvent(nullptr, 800, 600, true), makeResizeEvent(nullptr, 784, 561, false)},
          {keyboard()}}});
    EXPECT_EQ(log, (CallLog{"update", "taken", "resize 800x600", "resize 784x561", "again in 6 ms",
                            "taken", "render", "again in 6 ms", "render", "update", "close"}));
}

// The system's loop waits for messages itself; the pass asks to run again
// the wake-up margin (1 ms) before the frame is due, which the window's
// pulse brings about.
TEST(MainLoopInASystemLoop, AFrameNotDueYetIsLeftForThePassAtItsDueTime) {
    const CallLog log = runLoopWithSystemLoop({{}, {closeEvent()}}, {{{}, {}}}, {false, true});
    EXPECT_EQ(log, (CallLog{"update", "taken", "render (too early)", "again in 6 ms", "taken",
                            "render", "again in 6 ms", "render", "update", "close"}));
}

// Within the wake-up margin of the frame a pass waits out the rest itself,
// whatever arrives meanwhile, and draws the frame on time.
TEST(MainLoopInASystemLoop, APassWithinTheWakeUpMarginOfTheFrameSleepsUntilItIsDue) {
    const CallLog log =
        runLoopWithSystemLoop({{}, {closeEvent()}}, {{{}}}, {}, std::chrono::microseconds(600));
    EXPECT_EQ(log, (CallLog{"update", "taken", "wait out 600 us", "render", "again in 0 ms",
                            "render", "update", "close"}));
}

TEST(MainLoopInASystemLoop, ACloseDrainedInsideTheLoopEndsTheProgramWithoutAnotherFrame) {
    const CallLog log = runLoopWithSystemLoop({{}, {}}, {{{closeEvent()}, {}}});
    EXPECT_EQ(log,
              (CallLog{"update", "taken", "close", "again in 6 ms", "taken", "again in 6 ms"}));
}

TEST(MainLoopInASystemLoop, AFailureClosesTheWindowAndIsThrownOnceTheSystemsLoopEnds) {
    CallLog log;
    ScriptedQueue queue{log, {{}, {}}, {{{}, {}}}};
    RecordingWindow window{log};
    RecordingRenderer renderer{log};
    renderer.failsToDraw = true;
    EXPECT_THROW(runMainLoop(queue, window, renderer), std::runtime_error);
    EXPECT_EQ(log, (CallLog{"update", "taken", "render fails", "close", "again in 6 ms", "taken",
                            "again in 6 ms"}));
    EXPECT_FALSE(queue.systemLoopPass) << "a loop that ended leaves no pass behind";
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
