#pragma once

#include "window/translation_rules.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

class Window;

// The system's modal loops (moving and sizing a window, its menus, a caption
// button or the caption's right button held down) run inside the default
// processing of one message and hold the thread there until they end, so the
// main loop cannot run meanwhile. While one may run for a window, the queue's
// system-loop pass runs from inside it instead (EventQueue::setSystemLoopPass):
//   - whenever the system's loop takes a message from the queue (the thread's
//     message hook, window/event_queue_win32.cpp), and
//   - at the time the pass asked for (a frame's due time), when the window's
//     pulse posts a message for the loop to take.
// The pulse waits on a high-resolution timer on a thread of its own, so
// frames keep their pace whatever the resolution of the system's timer tick
// (15.6 ms by default on Windows), and it posts a message every loop takes:
// WM_NULL, or WM_MOUSEMOVE for a loop that takes only mouse messages.

// Posts a message to a window at the time it is armed for, from a thread of
// its own.
class SystemLoopPulse {
public:
    explicit SystemLoopPulse(HWND window);
    ~SystemLoopPulse();
    SystemLoopPulse(const SystemLoopPulse&) = delete;
    SystemLoopPulse& operator=(const SystemLoopPulse&) = delete;

    // The next message, for a loop of this kind, this long from now; an
    // earlier arming that has not fired yet is replaced.
    void arm(std::chrono::nanoseconds fromNow, SystemLoop loop);

private:
    void run();
    void post();

    HWND window;
    HANDLE timer = nullptr;
    HANDLE stopping = nullptr;
    std::atomic<SystemLoop> armedFor{SystemLoop::AllMessages};
    std::thread thread;
};

// Marks the default processing of a message that may run a system loop, for
// as long as it lasts; brackets nest.
class SystemLoopBracket {
public:
    SystemLoopBracket(Window& window, SystemLoop loop);
    ~SystemLoopBracket();
    SystemLoopBracket(const SystemLoopBracket&) = delete;
    SystemLoopBracket& operator=(const SystemLoopBracket&) = delete;

private:
    Window& window;
};

// Called by the thread's message hook whenever a message loop of the thread
// takes a message from the queue: inside a system loop, the pass runs.
void systemLoopTookMessage();
