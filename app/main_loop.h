#pragma once

#include "window/event.h"

// The main loop, written over its collaborators so it can be driven by the
// real queue, window and renderer as well as by recording test doubles.
//   Queue:    update(), empty(), front(), pop()
//   WindowT:  close()
//   RendererT: resize(width, height), render()

struct DrainOutcome {
    bool renderThisFrame = true;
    bool running = true;
};

// Acts on every queued event, front to back. Only Resize and Close matter;
// a Close does not stop the drain, later events are handled the same way.
template <typename Queue, typename WindowT, typename RendererT>
DrainOutcome drainEvents(Queue& queue, WindowT& window, RendererT& renderer) {
    DrainOutcome outcome;
    while (!queue.empty()) {
        // NOTE: a copy, because closing the window appends to the queue while
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
    }
    return outcome;
}

// Pumps, drains and renders until a Close event has been drained. An iteration
// that handled a Resize or a Close renders nothing.
template <typename Queue, typename WindowT, typename RendererT>
void runMainLoop(Queue& queue, WindowT& window, RendererT& renderer) {
    bool running = true;
    while (running) {
        queue.update();
        const DrainOutcome outcome = drainEvents(queue, window, renderer);
        if (outcome.renderThisFrame) {
            renderer.render();
        }
        running = outcome.running;
    }
}
