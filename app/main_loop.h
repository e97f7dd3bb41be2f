#pragma once

#include "window/event.h"

#include <chrono>
#include <exception>

// The main loop, written over its collaborators so it can be driven by the
// real queue, window and renderer as well as by recording test doubles.
//   Queue:     update(), empty(), front(), pop(), waitForMessages(timeout),
//              setModalLoopFrame(function)
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

// How a pass of the loop ended: it acted (handled events or drew a frame), a
// message is waiting to be pumped, or nothing happened yet and the next frame
// is (nearly) due.
enum class PassEnd { Acted, MessageWaiting, FrameNearlyDue };

// Pumps, drains and renders until a Close event has been drained. A pass
// that handled a Resize or a Close renders nothing.
template <typename Queue, typename WindowT, typename RendererT> class MainLoop {
public:
    MainLoop(Queue& queue, WindowT& window, RendererT& renderer)
        : queue(queue), window(window), renderer(renderer) {}

    void run() {
        const ModalLoopFrameInstalled installed(queue, [this] { runModalLoopFrame(); });
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
    // The queue runs this loop's frames while the system runs a modal loop,
    // for as long as the loop object lives.
    struct ModalLoopFrameInstalled {
        template <typename Frame>
        ModalLoopFrameInstalled(Queue& queue, Frame frame) : queue(queue) {
            queue.setModalLoopFrame(frame);
        }
        ~ModalLoopFrameInstalled() { queue.setModalLoopFrame(nullptr); }
        ModalLoopFrameInstalled(const ModalLoopFrameInstalled&) = delete;
        ModalLoopFrameInstalled& operator=(const ModalLoopFrameInstalled&) = delete;
        Queue& queue;
    };

    // Drains the queue, then renders unless an event was acted on.
    // NOTE: a pass that found nothing to do and no frame due yet waits for
    // the next window message or (nearly) the next frame, whichever comes
    // first, instead of pumping again at once: spinning would hold a core
    // busy between frames.
    PassEnd pass() {
        const DrainOutcome outcome = drainEvents(queue, window, renderer);
        running = running && outcome.running;
        if (!outcome.renderThisFrame || renderer.render() || outcome.handledAnEvent) {
            return PassEnd::Acted;
        }
        const std::chrono::nanoseconds idle = renderer.timeUntilNextFrame() - wakeUpMargin;
        if (idle.count() > 0 && queue.waitForMessages(idle)) {
            return PassEnd::MessageWaiting;
        }
        return PassEnd::FrameNearlyDue;
    }

    // NOTE: while the system runs a move, size or menu loop for the window,
    // the main loop's own passes go on from the window's timer, without the
    // pump (the system's loop pumps): the desktop and VR frames, the
    // runtime's events and the queued events keep their cadence and order,
    // and a Close drained here ends the system's loop with the window.
    // Without them the headset would freeze, and a runtime's Quit wait,
    // for as long as a person holds the window's caption. The passes run
    // until one acts or a message waits for the system's loop. A failure is
    // kept and thrown by the main loop once the system's loop has ended,
    // since nothing may be thrown through the window procedure.
    void runModalLoopFrame() noexcept {
        try {
            while (running && pass() == PassEnd::FrameNearlyDue) {
            }
        } catch (...) {
            failure = std::current_exception();
            running = false;
            window.close();
        }
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
