#include "window/system_loops.h"

#include "window/event_queue.h"
#include "window/window.h"

#include <algorithm>

// Windows 10 1803 and later; older MinGW headers do not declare it.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

// The window of this thread whose default processing may run a system loop.
thread_local Window* loopingWindow = nullptr;

// High-resolution where the system offers it, so the pulse is not bound to
// the timer tick; a plain one otherwise. Auto-reset: the pulse's thread waits
// on it all the time, so each expiry wakes it once.
HANDLE makePulseTimer() {
    HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_ALL_ACCESS);
    return timer != nullptr ? timer : CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
}

} // namespace

SystemLoopPulse::SystemLoopPulse(HWND window)
    : window(window), timer(makePulseTimer()),
      stopping(CreateEventA(nullptr, TRUE, FALSE, nullptr)), thread([this] { run(); }) {}

SystemLoopPulse::~SystemLoopPulse() {
    SetEvent(stopping);
    thread.join();
    CloseHandle(stopping);
    if (timer != nullptr) {
        CloseHandle(timer);
    }
}

void SystemLoopPulse::arm(std::chrono::nanoseconds fromNow, SystemLoop loop) {
    armedFor = loop;
    constexpr long long nanosecondsPerTick = 100;
    LARGE_INTEGER due; // negative: relative, in ticks of 100 ns
    due.QuadPart = -std::max(1LL, (fromNow.count() + nanosecondsPerTick - 1) / nanosecondsPerTick);
    if (timer != nullptr) {
        SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
    }
}

// Without a timer the wait fails at once and no pulse comes: the passes then
// run only when the system's loop takes a message.
void SystemLoopPulse::run() {
    const HANDLE waits[] = {stopping, timer};
    while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        post();
    }
}

// A loop that takes only mouse messages gets a move to where the cursor is:
// such loops read the cursor's position from the message, so it changes
// nothing for them.
void SystemLoopPulse::post() {
    if (armedFor.load() != SystemLoop::MouseMessagesOnly) {
        PostMessageA(window, WM_NULL, 0, 0);
        return;
    }
    POINT cursor{};
    GetCursorPos(&cursor);
    ScreenToClient(window, &cursor);
    PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(cursor.x, cursor.y));
}

SystemLoopBracket::SystemLoopBracket(Window& window, SystemLoop loop) : window(window) {
    window.systemLoopMayStart(loop);
}

SystemLoopBracket::~SystemLoopBracket() {
    window.systemLoopEnded();
}

void systemLoopTookMessage() {
    if (loopingWindow != nullptr) {
        loopingWindow->runSystemLoopPass();
    }
}

// The first pass comes with the loop's first message, or at once.
void Window::systemLoopMayStart(SystemLoop loop) {
    systemLoops.push_back(loop);
    loopingWindow = this;
    if (pulse == nullptr && handle != nullptr) {
        pulse = std::make_unique<SystemLoopPulse>(handle);
    }
    if (pulse != nullptr) {
        pulse->arm(std::chrono::nanoseconds(0), loop);
    }
}

void Window::systemLoopEnded() {
    systemLoops.pop_back();
    if (systemLoops.empty()) {
        pulse.reset();
        loopingWindow = nullptr;
    }
}

void Window::runSystemLoopPass() {
    const std::optional<std::chrono::nanoseconds> untilNext = eventQueue->runSystemLoopPass();
    if (untilNext && pulse != nullptr && !systemLoops.empty()) {
        pulse->arm(*untilNext, systemLoops.back());
    }
}

// NOTE: a window closed while the system moves, sizes or shows a menu for it
// first ends that loop. Destroyed inside it, the window would leave the
// system's loop running until a key or button release (so under Wine), and
// the program running without a window: a close, from the user or from the
// VR runtime's Quit, would not end the program. The default processing of
// WM_CANCELMODE releases the capture and ends a menu; a move or size loop
// that waits for its own end (Wine's) ends on the quit message, as modal
// loops do. The main loop takes the quit message like any other.
void Window::endSystemLoop() {
    if (!inSystemLoop() || handle == nullptr) {
        return;
    }
    SendMessageA(handle, WM_CANCELMODE, 0, 0);
    PostQuitMessage(0);
}
