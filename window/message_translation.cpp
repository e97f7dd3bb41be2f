#include "window/event_queue.h"
#include "window/posted_messages.h"
#include "window/raw_input.h"
#include "window/translation_rules.h"
#include "window/window.h"

#include <type_traits>

static_assert(std::is_same<std::intptr_t, LRESULT>::value, "pushEvent returns an LRESULT");

namespace {

constexpr LRESULT sizingHandled = 768;
constexpr RECT noMove{-1, -1, -1, -1};

// What one message turns into: at most one event, the message result, and a
// rectangle to move the window to once the event is queued.
struct Translation {
    Event event;
    LRESULT result = 0;
    RECT pendingRect = noMove;
};

std::int16_t queryKeyState(int virtualKey) {
    return GetKeyState(virtualKey);
}

bool isMaximized(HWND handle) {
    return IsZoomed(handle) != FALSE;
}

// The registration targets the window whose message came first; later
// windows of the same queue are never raw-input targets.
void registerRawMouse(HWND target) {
    RAWINPUTDEVICE device{};
    device.usUsagePage = 1; // generic desktop controls
    device.usUsage = 2;     // mouse
    device.dwFlags = RIDEV_INPUTSINK;
    device.hwndTarget = target;
    RegisterRawInputDevices(&device, 1, sizeof(device));
}

void paintBackground(const Window& window) {
    const HWND handle = window.nativeHandle();
    PAINTSTRUCT paint{};
    const HDC context = BeginPaint(handle, &paint);
    RECT windowRect{};
    GetWindowRect(handle, &windowRect);
    const HBRUSH brush = CreateSolidBrush(colorRefFromRgba(window.getDesc().backgroundColor));
    // The fill uses the window rectangle in screen coordinates, as
    // returned, not translated to the client area.
    FillRect(context, &windowRect, brush);
    DeleteObject(brush);
    EndPaint(handle, &paint);
}

// NOTE: a message whose lParam should point to a record (minimum size,
// caption, sizing, DPI change) but comes without one, or was posted (any
// process can post to the window, and its lParam is no pointer of ours), is
// not read through lParam and goes on to the default processing. Only the
// system sends these messages with a record.
bool recordReadable(const MSG& msg) {
    return msg.lParam != 0 && !isPostedMessage(msg);
}

void applyMinimumSize(const Window& window, const MSG& msg) {
    if (!recordReadable(msg)) {
        return;
    }
    auto* info = reinterpret_cast<MINMAXINFO*>(msg.lParam);
    const WindowDesc desc = window.getDesc();
    info->ptMinTrackSize.x = desc.minWidth;
    info->ptMinTrackSize.y = desc.minHeight;
}

// Raises the top of the proposed client area over the caption of a frameless
// window; the default processing then computes the rest.
void removeCaption(const Window& window, const MSG& msg) {
    if (window.getDesc().nativeFrame || msg.wParam == 0 || !recordReadable(msg)) {
        return;
    }
    const HWND handle = window.nativeHandle();
    auto* params = reinterpret_cast<NCCALCSIZE_PARAMS*>(msg.lParam);
    params->rgrc[0].top -= captionHeight(isMaximized(handle), GetDpiForWindow(handle));
}

LRESULT hitTestMessage(const Window& window, LPARAM lParam) {
    RECT rect{};
    GetWindowRect(window.nativeHandle(), &rect);
    const auto bits = static_cast<std::uint64_t>(lParam);
    return hitTest(signedWord(bits, 0) - rect.left, signedWord(bits, 16) - rect.top,
                   rect.right - rect.left, rect.bottom - rect.top,
                   isMaximized(window.nativeHandle()), window.getDesc().nativeFrame);
}

void translateRawInput(LPARAM lParam, Translation& translation) {
    if (const auto motion = readRawMouse(reinterpret_cast<HRAWINPUT>(lParam))) {
        translation.event.type = EventType::RawMouse;
        translation.event.data.rawMouse = *motion;
    }
}

void translateKey(WPARAM wParam, ButtonAction action, Translation& translation) {
    const ModifierState modifiers = keyboardModifiers(queryKeyState);
    translation.event.type = EventType::Keyboard;
    translation.event.data.keyboard =
        KeyboardData{keyboardKey(wParam, modifiers, queryKeyState), action, modifiers};
}

void translateButton(PointerButton button, ButtonAction action, WPARAM wParam,
                     Translation& translation) {
    translation.event.type = EventType::MouseButton;
    translation.event.data.mouseButton = MouseButtonData{button, action, mouseModifiers(wParam)};
}

void translateWheel(WPARAM wParam, Translation& translation) {
    translation.event.type = EventType::MouseWheel;
    translation.event.data.mouseWheel =
        MouseWheelData{wheelNotches(wParam), mouseModifiers(wParam)};
}

// NOTE: any process can post or send WM_SIZE, or send WM_SIZING (whose
// rectangle the system copies across), with any size, and buffers of that size
// cost seconds a frame or end the program where they do not fit. A size beyond
// the largest window the system lets a user make (its maximum tracking size) is
// cut to it; real resizes and minimising never reach it.
ResizeData withinLargestWindow(ResizeData size) {
    return withinLargestWindow(size, static_cast<std::uint32_t>(GetSystemMetrics(SM_CXMAXTRACK)),
                               static_cast<std::uint32_t>(GetSystemMetrics(SM_CYMAXTRACK)));
}

void translateSizing(const Window& window, const MSG& msg, Translation& translation) {
    if (!recordReadable(msg)) {
        return;
    }
    RedrawWindow(window.nativeHandle(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_NOERASE);
    const auto* drag = reinterpret_cast<const RECT*>(msg.lParam);
    const ResizeData size =
        withinLargestWindow(ResizeData{static_cast<std::uint32_t>(drag->right - drag->left),
                                       static_cast<std::uint32_t>(drag->bottom - drag->top), true});
    translation.event =
        makeResizeEvent(translation.event.window, size.width, size.height, size.resizing);
    translation.result = sizingHandled;
}

// The window follows the rectangle the system suggests, after the DpiChange
// event is queued, so the Resize that the move causes comes behind it.
void translateDpiChange(const Window& window, const MSG& msg, Translation& translation) {
    translation.event.type = EventType::DpiChange;
    translation.event.data.dpi.scale = dpiScale(msg.wParam);
    if (!isMaximized(window.nativeHandle()) && recordReadable(msg)) {
        translation.pendingRect = *reinterpret_cast<const RECT*>(msg.lParam);
    }
}

void translateMouseButton(UINT message, WPARAM wParam, Translation& translation) {
    switch (message) {
    case WM_LBUTTONDOWN:
        return translateButton(PointerButton::Left, ButtonAction::Pressed, wParam, translation);
    case WM_LBUTTONUP:
        return translateButton(PointerButton::Left, ButtonAction::Released, wParam, translation);
    case WM_RBUTTONDOWN:
        return translateButton(PointerButton::Right, ButtonAction::Pressed, wParam, translation);
    case WM_RBUTTONUP:
        return translateButton(PointerButton::Right, ButtonAction::Released, wParam, translation);
    case WM_MBUTTONDOWN:
        return translateButton(PointerButton::Middle, ButtonAction::Pressed, wParam, translation);
    case WM_MBUTTONUP:
        return translateButton(PointerButton::Middle, ButtonAction::Released, wParam, translation);
    case WM_XBUTTONDOWN:
        return translateButton(extendedButton(wParam), ButtonAction::Pressed, wParam, translation);
    case WM_XBUTTONUP:
        return translateButton(extendedButton(wParam), ButtonAction::Released, wParam, translation);
    default:
        return;
    }
}

void moveWindowIfPending(const Window& window, const RECT& rect) {
    if (rect.left == -1 && rect.top == -1 && rect.right == -1 && rect.bottom == -1) {
        return;
    }
    SetWindowPos(window.nativeHandle(), nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

struct PointerHistory {
    std::int32_t& x;
    std::int32_t& y;
};

// Pointer position with the client-rectangle test and the motion since the
// previous mouse-move message of this queue.
void translatePointerMotion(const Window& window, LPARAM lParam, PointerHistory previous,
                            Translation& translation) {
    const auto bits = static_cast<std::uint64_t>(lParam);
    const std::int32_t px = signedWord(bits, 0);
    const std::int32_t py = signedWord(bits, 16);
    RECT client{};
    GetClientRect(window.nativeHandle(), &client);
    translation.event.type = EventType::MouseMove;
    translation.event.data.mouseMove =
        MouseMoveData{insideOrMinusOne(px, client.left, client.right),
                      insideOrMinusOne(py, client.top, client.bottom),
                      px,
                      py,
                      px - previous.x,
                      py - previous.y};
    previous.x = px;
    previous.y = py;
}

void translateFocus(bool focused, Translation& translation) {
    translation.event.type = EventType::Focus;
    translation.event.data.focus.focused = focused;
}

ResizeData largestClientSizeFromLParam(LPARAM lParam) {
    return withinLargestWindow(clientSizeFromLParam(static_cast<std::uint64_t>(lParam)));
}

void translateMessage(const MSG& msg, Window& window, PointerHistory pointer,
                      Translation& translation) {
    Event& event = translation.event;
    switch (msg.message) {
    case WM_CREATE:
        event.type = EventType::Create;
        break;
    case WM_DESTROY:
    case WM_CLOSE:
        event.type = EventType::Close;
        break;
    case WM_SIZE:
        event.type = EventType::Resize;
        event.data.resize = largestClientSizeFromLParam(msg.lParam);
        break;
    case WM_SETFOCUS:
        translateFocus(true, translation);
        break;
    case WM_KILLFOCUS:
        translateFocus(false, translation);
        break;
    case WM_PAINT:
        paintBackground(window);
        event.type = EventType::Paint;
        break;
    case WM_GETMINMAXINFO:
        applyMinimumSize(window, msg);
        break;
    case WM_NCCALCSIZE:
        removeCaption(window, msg);
        break;
    case WM_NCHITTEST:
        translation.result = hitTestMessage(window, msg.lParam);
        break;
    case WM_INPUT:
        translateRawInput(msg.lParam, translation);
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        translateKey(msg.wParam, ButtonAction::Pressed, translation);
        break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        translateKey(msg.wParam, ButtonAction::Released, translation);
        break;
    case WM_MOUSEMOVE:
        translatePointerMotion(window, msg.lParam, pointer, translation);
        break;
    case WM_MOUSEWHEEL:
        translateWheel(msg.wParam, translation);
        break;
    case WM_SIZING:
        translateSizing(window, msg, translation);
        break;
    case WM_DPICHANGED:
        translateDpiChange(window, msg, translation);
        break;
    default:
        translateMouseButton(msg.message, msg.wParam, translation);
        break;
    }
}

} // namespace

std::intptr_t EventQueue::pushEvent(const MSG& msg, Window& window) {
    if (!rawInputRegistered) {
        rawInputRegistered = true;
        registerRawMouse(window.nativeHandle());
    }
    Translation translation{makeEvent(EventType::None, &window)};
    translateMessage(msg, window, PointerHistory{previousPointerX, previousPointerY}, translation);
    append(translation.event);
    moveWindowIfPending(window, translation.pendingRect);
    if (msg.message == WM_DESTROY) {
        window.endSystemLoop();
    }
    // Sent by the system; a posted copy ends nothing.
    if (msg.message == WM_ENDSESSION && msg.wParam != FALSE && !isPostedMessage(msg)) {
        runSessionEnd();
    }
    return translation.result;
}
