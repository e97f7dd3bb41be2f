#pragma once

#include "window/system_loops.h"
#include "window/window_desc.h"

#include <windows.h>

#include <shobjidl.h>

#include <memory>
#include <vector>

class EventQueue;

// The window procedure of every class Window::create registers: it hands each
// message to the window's event queue for translation.
LRESULT CALLBACK windowProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

// Ends the bookkeeping of this thread's windows that the system has destroyed
// since: they leave the window table and forget their handles. Runs before
// every message, after every pump and before every close.
void forgetDestroyedWindows();

// A native top-level window whose messages become events in an EventQueue.
class Window {
public:
    Window() = default;
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Registers the class, creates, positions and shows the window. False when
    // the class cannot be registered or the window cannot be created. The
    // queue must outlive the window, its destruction included.
    bool create(const WindowDesc& description, EventQueue& queue);

    // Destroys the native window if there is one.
    void close();

    // Asks for the window to be closed as the user closes it: a Close event
    // reaches the queue on the next pump. False when there is no window or
    // the request could not be queued.
    bool requestClose();

    WindowDesc getDesc() const { return desc; }
    HWND nativeHandle() const { return handle; }

    // Whether the default processing of a message that may run one of the
    // system's modal loops is under way (window/system_loops.h).
    bool inSystemLoop() const { return !systemLoops.empty(); }

    // Ends a system loop running for the window, as a cancelled drag ends it;
    // nothing when none runs.
    void endSystemLoop();

private:
    friend LRESULT CALLBACK windowProc(HWND, UINT, WPARAM, LPARAM) noexcept;
    friend void forgetDestroyedWindows();
    friend class SystemLoopBracket;
    friend void systemLoopTookMessage();

    void systemLoopMayStart(SystemLoop loop);
    void systemLoopEnded();
    void runSystemLoopPass();

    void forgetHandle(HWND destroyed);

    void fillWindowClass();
    void placeOnScreen(RECT rect);
    void applyShellSettings();

    HWND handle = nullptr;
    HINSTANCE instance = nullptr;
    EventQueue* eventQueue = nullptr;
    WindowDesc desc;
    WNDCLASSEXA windowClass{};
    ITaskbarList3* taskbarList = nullptr;
    // The system loops that may run for the window, innermost last, and the
    // pulse that wakes them at a frame's due time while any does.
    std::vector<SystemLoop> systemLoops;
    std::unique_ptr<SystemLoopPulse> pulse;
};
