#include "window/event_queue.h"

#include "window/posted_messages.h"
#include "window/system_loops.h"
#include "window/window.h"

#include <windows.h>

#include <timeapi.h>

#include <thread>

// Windows 10 1803 and later; older MinGW headers do not declare it.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

// The last posted message that any message loop of this thread took from
// the queue: update(), and the system's own loops for moving, sizing and
// menus alike.
thread_local MSG lastPostedMessage{};
thread_local HHOOK postedMessageHook = nullptr;

// Inside a system loop, taking a message is also the main loop's chance to
// run its pass (window/system_loops.h).
LRESULT CALLBACK notePostedMessage(int code, WPARAM removal, LPARAM message) {
    if (code == HC_ACTION && removal == PM_REMOVE) {
        lastPostedMessage = *reinterpret_cast<const MSG*>(message);
        systemLoopTookMessage();
    }
    return CallNextHookEx(nullptr, code, removal, message);
}

// What the wait for the next frame wakes on besides messages. A
// high-resolution waitable timer where the system offers one; otherwise the
// wait's own millisecond time-out, with the system timer period lowered to
// 1 ms for as long as the program runs (the default period of 15.6 ms would
// miss a 60 Hz cadence).
// The timer resets manually: a message may end a wait before its timer fires,
// and the timer fires later with nobody waiting. Setting the timer again
// must clear that signal, and Wine clears it only for a manual-reset timer;
// an auto-reset one would end the next wait at once.
class FrameTimer {
public:
    FrameTimer() {
        timer = CreateWaitableTimerExW(nullptr, nullptr,
                                       CREATE_WAITABLE_TIMER_HIGH_RESOLUTION |
                                           CREATE_WAITABLE_TIMER_MANUAL_RESET,
                                       TIMER_ALL_ACCESS);
        if (timer == nullptr) {
            lowPeriod = timeBeginPeriod(1) == TIMERR_NOERROR;
        }
    }
    ~FrameTimer() {
        if (timer != nullptr) {
            CloseHandle(timer);
        }
        if (lowPeriod) {
            timeEndPeriod(1);
        }
    }
    FrameTimer(const FrameTimer&) = delete;
    FrameTimer& operator=(const FrameTimer&) = delete;

    // Waits for a message or the timeout; true when a message came.
    bool waitForMessages(std::chrono::nanoseconds timeout) {
        if (timer == nullptr) {
            // Rounded down: the caller's wake-up margin already allows for the
            // system waking late, and rounding up would use that margin up.
            const auto milliseconds =
                std::chrono::floor<std::chrono::milliseconds>(timeout).count();
            return MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(milliseconds),
                                               QS_ALLINPUT, MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0;
        }
        constexpr long long nanosecondsPerTick = 100;
        LARGE_INTEGER due; // negative: relative, in ticks of 100 ns
        due.QuadPart = -((timeout.count() + nanosecondsPerTick - 1) / nanosecondsPerTick);
        if (SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) == FALSE) {
            return false;
        }
        return MsgWaitForMultipleObjectsEx(1, &timer, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
               WAIT_OBJECT_0 + 1;
    }

private:
    HANDLE timer = nullptr;
    bool lowPeriod = false;
};

} // namespace

// A quit message is dispatched like any other; the loop ends only on a
// Close event.
void EventQueue::update() {
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    forgetDestroyedWindows();
}

void watchPostedMessages() {
    if (postedMessageHook == nullptr) {
        postedMessageHook =
            SetWindowsHookExA(WH_GETMESSAGE, notePostedMessage, nullptr, GetCurrentThreadId());
    }
}

bool isPostedMessage(const MSG& msg) {
    return lastPostedMessage.hwnd == msg.hwnd && lastPostedMessage.message == msg.message &&
           lastPostedMessage.wParam == msg.wParam && lastPostedMessage.lParam == msg.lParam;
}

bool EventQueue::waitForMessages(std::chrono::nanoseconds timeout) {
    static FrameTimer frameTimer;
    return frameTimer.waitForMessages(timeout);
}

// A timer would wake a fraction of a millisecond late, about as much as the
// wait is long; yielding the processor until the time has come does not.
void EventQueue::waitOut(std::chrono::nanoseconds duration) {
    const auto until = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < until) {
        std::this_thread::yield();
    }
}
