#pragma once

#include "window/event.h"

#include <algorithm>
#include <chrono>
#include <exception>

// The main loop, written over its collaborators so it can be driven by the
// real queue, window and renderer as well as by recording test doubles.
//   Queue:     update(), empty(), front(), pop(), waitForMessages(timeout),
//              waitOut(duration), setSystemLoopPass(function returning nanoseconds)
//   WindowT:   close()
//   RendererT: resize(width, height), render() -> whether it drew a frame,
//              timeUntilNextFrame()

struct DrainOutcome {
    bool renderThisFrame = true;
    bool running = true;
    bool handledAnEvent = false;
};

// Acts on every queued event, front to back. Only Resize and Close matter;
// a Close does not stop the drain, later events are handled the same way.
template <typename Queue, typename WindowT, typename RendererT>
DrainOutcome drainEvents(Queue& queue, WindowT& window, RendererT& renderer) {
    DrainOutcome outcome;
    while (!queue.empty()) {
        // A copy, because closing the window appends to the queue while
        // the event is being handled.
        const Event event = queue.front();
        if (event.type == EventType::Resize) {
            renderer.resize(event.data.resize.width, event.data.resize.height);
            outcome.renderThisFrame = false;
        }
        if (event.type == EventType::Close) {
            window.close();
            outcome.renderThisFrame = false;
            outcome.running = false;
        }
        queue.pop();
        outcome.handledAnEvent = true;
    }
    return outcome;
}

// How much earlier than the next frame an idle wait ends. Waking takes the
// system a fraction of a millisecond; the loop pumps and asks again for the
// rest, so frames keep their 16.666666 ms cadence instead of slipping by the
// wake-up time every frame.
constexpr std::chrono::microseconds wakeUpMargin{1000};

// Pumps, drains and renders until a Close event has been drained. A pass
// that handled a Resize or a Close renders nothing.
template <typename Queue, typename WindowT, typename RendererT> class MainLoop {
public:
    MainLoop(Queue& queue, WindowT& window, RendererT& renderer)
        : queue(queue), window(window), renderer(renderer) {}

    void run() {
        const SystemLoopPassInstalled installed(queue, [this] { return passInsideSystemLoop(); });
        while (running) {
            queue.update();
            if (failure) {
                std::rethrow_exception(failure);
            }
            if (running) {
                pass();
            }
        }
    }

private:
    // The queue runs this loop's passes while the system runs one of its
    // modal loops, for as long as the loop object lives.
    struct SystemLoopPassInstalled {
        template <typename Pass> SystemLoopPassInstalled(Queue& queue, Pass pass) : queue(queue) {
            queue.setSystemLoopPass(pass);
        }
        ~SystemLoopPassInstalled() { queue.setSystemLoopPass(nullptr); }
        SystemLoopPassInstalled(const SystemLoopPassInstalled&) = delete;
        SystemLoopPassInstalled& operator=(const SystemLoopPassInstalled&) = delete;
        Queue& queue;
    };

    // Drains the queue, then renders unless an event was acted on; true when
    // it acted (handled events or drew a frame).
    bool act() {
        const DrainOutcome outcome = drainEvents(queue, window, renderer);
        running = running && outcome.running;
        return !outcome.renderThisFrame || renderer.render() || outcome.handledAnEvent;
    }

    // NOTE: a pass that found nothing to do and no frame due yet waits for
    // the next window message or (nearly) the next frame, whichever comes
    // first, instead of pumping again at once: spinning would hold a core
    // busy between frames.
    void pass() {
        if (act()) {
            return;
        }
        const std::chrono::nanoseconds idle = renderer.timeUntilNextFrame() - wakeUpMargin;
        if (idle.count() > 0) {
            queue.waitForMessages(idle);
        }
    }

    // NOTE: while the system runs a modal loop for the window (moving,
    // sizing, a menu, a caption button held down), the main loop's own passes
    // go on from inside it, whenever the system's loop takes a message and at
    // each frame's due time, without the pump and without waiting (the
    // system's loop does both): the desktop and VR frames, the runtime's
    // events and the queued events keep their cadence and order, and a Close
    // drained here ends the system's loop with the window. Without them the
    // headset would freeze, and a runtime's Quit wait, for as long as a
    // person holds the window's caption. A failure is kept and thrown by the
    // main loop once the system's loop has ended, since nothing may be thrown
    // through the window procedure. Answers how long until the next frame.
    // A pass asks to run again the wake-up margin before the next frame and
    // then waits out the rest itself, messages notwithstanding, so that the
    // frame starts on time rather than the wake-up time late.
    std::chrono::nanoseconds passInsideSystemLoop() noexcept {
        try {
            if (running) {
                const std::chrono::nanoseconds untilDue = renderer.timeUntilNextFrame();
                if (untilDue.count() > 0 && untilDue <= wakeUpMargin) {
                    queue.waitOut(untilDue);
                }
                act();
            }
        } catch (...) {
            failure = std::current_exception();
            running = false;
            window.close();
        }
        return std::max(std::chrono::nanoseconds(0), renderer.timeUntilNextFrame() - wakeUpMargin);
    }

    Queue& queue;
    WindowT& window;
    RendererT& renderer;
    bool running = true;
    std::exception_ptr failure;
};

template <typename Queue, typename WindowT, typename RendererT>
void runMainLoop(Queue& queue, WindowT& window, RendererT& renderer) {
    MainLoop<Queue, WindowT, RendererT>(queue, window, renderer).run();
}
