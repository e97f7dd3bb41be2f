#pragma once

#include "window/event.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

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

    // Blocks for the time given, whatever arrives meanwhile: for the last
    // fraction of a millisecond before a frame, when a wait for a timer would
    // wake too late.
    void waitOut(std::chrono::nanoseconds duration);

    // Translates one window message into at most one event and returns the
    // message result: above zero means handled, otherwise the default
    // processing runs as well.
    std::intptr_t pushEvent(const tagMSG& msg, Window& window);

    bool empty() const { return events.empty(); }
    const Event& front() const { return events.front(); }
    void pop() { events.pop_front(); }

    // Appends at the back; events of type None are never queued.
    void append(const Event& event);

    // What runs in the main loop's stead while the system runs one of its
    // modal loops for a window of this queue (moving, sizing, a menu, a held
    // caption button): those loops hold the thread inside the window
    // procedure until they end, so the main loop cannot. It runs whenever the
    // system's loop takes a message and when a frame is due (window/
    // system_loops.h), never inside itself, must not throw, and answers how
    // long until it should run again. Empty runs nothing.
    using SystemLoopPass = std::function<std::chrono::nanoseconds()>;
    void setSystemLoopPass(SystemLoopPass pass);
    // When to run it again; nothing when there is none, or it is running.
    std::optional<std::chrono::nanoseconds> runSystemLoopPass();

    // What runs when the user's session ends (log-off, shut-down): the
    // system may end the process as soon as the window has been told, so it
    // runs inside that message. Empty runs nothing.
    void setSessionEnd(std::function<void()> end) { sessionEnd = std::move(end); }
    void runSessionEnd() {
        if (sessionEnd) {
            sessionEnd();
        }
    }

private:
    SystemLoopPass systemLoopPass;
    std::function<void()> sessionEnd;
    bool inSystemLoopPass = false;
    bool rawInputRegistered = false;
    std::int32_t previousPointerX = 0;
    std::int32_t previousPointerY = 0;
    std::deque<Event> events;
};
