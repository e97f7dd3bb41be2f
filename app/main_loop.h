#pragma once

#include "window/event.h"

#include <chrono>

// The main loop, written over its collaborators so it can be driven by the
// real queue, window and renderer as well as by recording test doubles.
//   Queue:     update(), empty(), front(), pop(), waitForMessages(timeout)
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

// Pumps, drains and renders until a Close event has been drained. An iteration
// that handled a Resize or a Close renders nothing.
// NOTE: an iteration that found nothing to do and no frame due yet waits for
// the next window message or (nearly) the next frame, whichever comes first,
// instead of pumping again at once: spinning would hold a core busy between
// frames.
template <typename Queue, typename WindowT, typename RendererT>
void runMainLoop(Queue& queue, WindowT& window, RendererT& renderer) {
    bool running = true;
    while (running) {
        queue.update();
        const DrainOutcome outcome = drainEvents(queue, window, renderer);
        if (outcome.renderThisFrame && !renderer.render() && !outcome.handledAnEvent) {
            const std::chrono::nanoseconds idle = renderer.timeUntilNextFrame() - wakeUpMargin;
            if (idle.count() > 0) {
                queue.waitForMessages(idle);
            }
        }
        running = outcome.running;
    }
}
