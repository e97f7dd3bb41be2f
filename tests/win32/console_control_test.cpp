#include "app/console_output.h"
#include "window_fixture.h"

#include <algorithm>
#include <thread>

namespace {

using ConsoleControl = RealWindow;

// Pumps the window's messages until its queue holds a Close event, for at
// most a few seconds; whether one came.
bool closeArrives(EventQueue& queue) {
    for (int turn = 0; turn < 100; ++turn) {
        queue.update();
        while (!queue.empty()) {
            if (queue.front().type == EventType::Close) {
                return true;
            }
            queue.pop();
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    return false;
}

// The system calls the handler on a thread of its own, which then waits for
// the process to end; the test leaves those threads waiting.
TEST_F(ConsoleControl, EachControlEventClosesTheWindowAsItsUserDoes) {
    for (const DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT}) {
        OtherWindow target(describe(uniqueClassName()));
        ASSERT_TRUE(target.created);
        target.queue.update();
        closeOnConsoleControl(target.handle());
        std::thread([event] { onConsoleControl(event); }).detach();
        EXPECT_TRUE(closeArrives(target.queue)) << "event " << event;
    }
}

// Log-off and shut-down reach a program with windows as the session's end,
// never here; 99 is no event at all.
TEST_F(ConsoleControl, OtherEventsAreLeftToTheSystem) {
    closeOnConsoleControl(handle());
    for (const DWORD event : {static_cast<DWORD>(CTRL_LOGOFF_EVENT),
                              static_cast<DWORD>(CTRL_SHUTDOWN_EVENT), static_cast<DWORD>(99)}) {
        EXPECT_FALSE(onConsoleControl(event)) << event;
    }
}

} // namespace
