#include "window/event_queue.h"

#include <windows.h>

// NOTE: a quit message is dispatched like any other; the loop ends only on a
// Close event.
void EventQueue::update() {
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}
