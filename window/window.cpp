#include "window/window.h"

#include "app/app_state.h"
#include "window/event_queue.h"
#include "window/posted_messages.h"
#include "window/win32_values.h"
#include "window/window_placement.h"

#include <dwmapi.h>

#include <unordered_map>
#include <vector>

namespace {

// Every window class shares this dark grey (30, 30, 30). Made during static
// initialisation and never deleted.
const HBRUSH backgroundBrush = CreateSolidBrush(RGB(30, 30, 30));

// The Window whose create() is running on this thread, until its first message.
thread_local Window* pendingWindow = nullptr;
thread_local std::unordered_map<HWND, Window*> windowTable;
// Windows that received WM_NCDESTROY: whether it was the system's own shows
// only once the handle is no longer a window.
thread_local std::vector<HWND> endingWindows;

constexpr DWORD displayModeFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;

struct Styles {
    DWORD style;
    DWORD extendedStyle;
};

struct ScreenSize {
    int width;
    int height;
};

ScreenSize screenSize() {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// The display mode is set to the current screen size, not to the
// description's, and only when both of the description's sides differ from it.
void enterFullscreenMode(const WindowDesc& desc, ScreenSize screen) {
    if (desc.width == screen.width || desc.height == screen.height) {
        return;
    }
    DEVMODEA mode{};
    mode.dmSize = sizeof(mode);
    mode.dmFields = displayModeFields;
    mode.dmBitsPerPel = 32;
    mode.dmPelsWidth = static_cast<DWORD>(screen.width);
    mode.dmPelsHeight = static_cast<DWORD>(screen.height);
    ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN);
}

Styles chooseStyles(const WindowDesc& desc, ScreenSize screen) {
    if (desc.fullscreen) {
        enterFullscreenMode(desc, screen);
        return {WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, WS_EX_APPWINDOW};
    }
    const DWORD windowed = desc.nativeFrame
                               ? WS_OVERLAPPEDWINDOW
                               : WS_CAPTION | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    return {windowed, WS_EX_APPWINDOW | WS_EX_WINDOWEDGE};
}

RECT frameRectangle(const WindowDesc& desc, ScreenSize screen, Styles styles) {
    RECT rect{desc.x, desc.y, desc.fullscreen ? screen.width : desc.width,
              desc.fullscreen ? screen.height : desc.height};
    AdjustWindowRectEx(&rect, styles.style, FALSE, styles.extendedStyle);
    return rect;
}

// COM may already be initialised on this thread in another mode; that serves
// the taskbar object just as well.
bool comUsable() {
    const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    return SUCCEEDED(result) || result == RPC_E_CHANGED_MODE;
}

Window* knownWindow(HWND handle) {
    const auto known = windowTable.find(handle);
    return known != windowTable.end() ? known->second : nullptr;
}

// The pending window claims only a handle that no window owns yet, so a
// message of an older window during another window's creation is not taken
// for the new window's first message.
Window* claimPendingWindow(HWND handle) {
    Window* window = pendingWindow;
    if (window != nullptr) {
        pendingWindow = nullptr;
        windowTable.emplace(handle, window);
    }
    return window;
}

} // namespace

// NOTE: any process can post WM_NCDESTROY to the window. Only a window that
// is really gone loses its table entry and its handle; one that received a
// forged message keeps both, so its later messages, a close request among
// them, still become events.
void forgetDestroyedWindows() {
    for (HWND ending : endingWindows) {
        if (IsWindow(ending) != FALSE) {
            continue;
        }
        if (Window* window = knownWindow(ending)) {
            window->forgetHandle(ending);
        }
        windowTable.erase(ending);
    }
    endingWindows.clear();
}

// NOTE: the taskbar object is released with the window: kept, it would be
// released by nobody, after COM on this thread may be gone.
Window::~Window() {
    close();
    if (taskbarList != nullptr) {
        taskbarList->Release();
        taskbarList = nullptr;
    }
}

bool Window::create(const WindowDesc& description, EventQueue& queue) {
    eventQueue = &queue;
    instance = getAppState().instance;
    desc = description;
    fillWindowClass();
    if (RegisterClassExA(&windowClass) == 0) {
        return false;
    }
    // The screen is measured once, before the thread becomes DPI aware;
    // both the display mode and a fullscreen window's size use that reading.
    const ScreenSize screen = screenSize();
    const Styles styles = chooseStyles(desc, screen);
    SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    const RECT rect = frameRectangle(desc, screen, styles);

    watchPostedMessages();
    pendingWindow = this;
    const HWND created = CreateWindowExA(0, desc.name.c_str(), desc.title.c_str(), styles.style, 0,
                                         0, rect.right - rect.left, rect.bottom - rect.top, nullptr,
                                         nullptr, instance, nullptr);
    if (pendingWindow == this) {
        pendingWindow = nullptr; // creation failed before any message arrived
    }
    handle = created;
    const BOOL renderingEnabled = TRUE;
    DwmSetWindowAttribute(handle, DWMWA_NCRENDERING_ENABLED, &renderingEnabled,
                          sizeof(renderingEnabled));
    if (handle == nullptr) {
        return false;
    }
    if (!desc.fullscreen) {
        placeOnScreen(rect);
    }
    if (desc.visible) {
        ShowWindow(handle, SW_SHOW);
        SetForegroundWindow(handle);
        SetFocus(handle);
    }
    applyShellSettings();
    return true;
}

void Window::close() {
    forgetDestroyedWindows();
    if (handle != nullptr) {
        DestroyWindow(handle);
        handle = nullptr;
    }
}

bool Window::requestClose() {
    forgetDestroyedWindows();
    return handle != nullptr && PostMessageA(handle, WM_CLOSE, 0, 0) != FALSE;
}

void Window::forgetHandle(HWND destroyed) {
    if (handle == destroyed) {
        handle = nullptr;
    }
}

void Window::fillWindowClass() {
    windowClass = WNDCLASSEXA{};
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 4;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = backgroundBrush;
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = desc.name.c_str();
    windowClass.hIconSm = LoadIconA(nullptr, IDI_WINLOGO);
}

namespace {

// The whole monitor the window is on, and its work area (less the taskbar).
struct MonitorArea {
    ScreenRect monitor;
    ScreenRect workArea;
};

ScreenRect toScreenRect(const RECT& rect) {
    return ScreenRect{rect.left, rect.top, rect.right, rect.bottom};
}

MonitorArea monitorOf(HWND handle) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (GetMonitorInfoA(MonitorFromWindow(handle, MONITOR_DEFAULTTOPRIMARY), &info) == FALSE) {
        const ScreenSize screen = screenSize();
        const ScreenRect whole{0, 0, screen.width, screen.height};
        return {whole, whole};
    }
    return {toScreenRect(info.rcMonitor), toScreenRect(info.rcWork)};
}

} // namespace

// Scales the frame rectangle to the window's DPI and centres it on its monitor.
// The size set is the adjusted rectangle's right and bottom edges, not its
// width and height; with a frame that starts left of and above the origin the
// window ends up slightly smaller than the frame needs.
// NOTE: a scaled window larger than the monitor's work area (774 pixels at
// 150 % on a 1080-pixel screen) is made as large as the work area allows and
// placed inside it; centred by its full size, its caption lay above the
// screen, out of the mouse's reach.
void Window::placeOnScreen(RECT rect) {
    const UINT dpi = GetDpiForWindow(handle);
    if (dpi != defaultDpi) {
        rect.bottom = MulDiv(rect.bottom, static_cast<int>(dpi), static_cast<int>(defaultDpi));
        rect.right = MulDiv(rect.right, static_cast<int>(dpi), static_cast<int>(defaultDpi));
    }
    const MonitorArea area = monitorOf(handle);
    const ScreenRect placed = placeOnMonitor(rect.right, rect.bottom, area.monitor, area.workArea);
    SetWindowPos(handle, nullptr, placed.left, placed.top, placed.width(), placed.height(), 0);
}

// Cosmetic DWM and taskbar settings; none of their results matters.
void Window::applyShellSettings() {
    DWM_BLURBEHIND blur{};
    blur.dwFlags = 0;
    blur.fEnable = TRUE;
    blur.hRgnBlur = nullptr;
    blur.fTransitionOnMaximized = TRUE;
    DwmEnableBlurBehindWindow(handle, &blur);
    const MARGINS margins{0, 0, 0, 0};
    DwmExtendFrameIntoClientArea(handle, &margins);
    RegisterWindowMessageA("TaskbarButtonCreated");
    if (comUsable() &&
        SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ITaskbarList3, reinterpret_cast<void**>(&taskbarList)))) {
        taskbarList->SetProgressValue(handle, 0, 10000);
    }
}

namespace {

// The system's modal loops run inside the default processing of the
// messages that start them, some before any message says so: the whole of it
// counts as a system loop.
LRESULT defaultProcessing(Window& window, HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    const SystemLoop loop = systemLoopOf(message, wParam);
    if (loop == SystemLoop::None) {
        return DefWindowProcA(handle, message, wParam, lParam);
    }
    const SystemLoopBracket bracket(window, loop);
    return DefWindowProcA(handle, message, wParam, lParam);
}

} // namespace

LRESULT CALLBACK windowProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    forgetDestroyedWindows();
    Window* window = knownWindow(handle);
    if (window == nullptr) {
        window = claimPendingWindow(handle);
        if (window == nullptr) {
            return DefWindowProcA(handle, message, wParam, lParam);
        }
        window->handle = handle;
    }
    MSG msg{};
    msg.hwnd = handle;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    const LRESULT result = window->eventQueue->pushEvent(msg, *window);
    if (message == WM_NCDESTROY) {
        endingWindows.push_back(handle); // the handle may be reused for a later window
    }
    if (result > 0) {
        return result;
    }
    return defaultProcessing(*window, handle, message, wParam, lParam);
}
