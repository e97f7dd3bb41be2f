#pragma once

#include "window/event.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>

struct tagMSG; // the Win32 MSG record

// The application's queue of window events, together with the per-queue input
// state the Win32 back end keeps while it translates messages.
class EventQueue {
public:
    // Pumps every message pending for the calling thread without waiting; the
    // window procedure appends the resulting events while it runs.
    void update();

    // Blocks until a message arrives for the calling thread (any input) or
    // the timeout passes, whichever comes first; true when a message came.
    // The system may also end a wait early for input of its own that leaves
    // nothing to pump, and then answers true as well.
    bool waitForMessages(std::chrono::nanoseconds timeout);

    // Translates one window message into at most one event and returns the
    // message result: above zero means handled, otherwise the default
    // processing runs as well.
    std::intptr_t pushEvent(const tagMSG& msg, Window& window);

    bool empty() const { return events.empty(); }
    const Event& front() const { return events.front(); }
    void pop() { events.pop_front(); }

    // Appends at the back; events of type None are never queued.
    void append(const Event& event);

    // What runs in the main loop's stead while the system runs a move, size
    // or menu loop for a window of this queue: those loops hold the thread
    // inside one dispatch until they end, so the main loop cannot. It runs on
    // a timer of the window's, never inside itself, and must not throw: it
    // runs inside the window procedure. Empty runs nothing.
    void setModalLoopFrame(std::function<void()> frame);
    void runModalLoopFrame();

private:
    std::function<void()> modalLoopFrame;
    bool inModalLoopFrame = false;
    bool rawInputRegistered = false;
    std::int32_t previousPointerX = 0;
    std::int32_t previousPointerY = 0;
    std::deque<Event> events;
};
