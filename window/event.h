#pragma once

#include "window/key.h"

#include <cstdint>

class Window;

enum class EventType : std::uint64_t {
    None = 0,
    Close = 1,
    Create = 2,
    Focus = 3,
    Paint = 4,
    Resize = 5,
    DpiChange = 6,
    Keyboard = 7,
    MouseMove = 8,
    RawMouse = 9,
    MouseWheel = 10,
    MouseButton = 11,
};

enum class ButtonAction : std::uint64_t { Pressed = 0, Released = 1 };

enum class PointerButton : std::uint32_t { Left = 0, Right = 1, Middle = 2, X1 = 3, X2 = 4 };

struct ModifierState {
    bool ctrl = false;
    bool alt = false;
    bool shift = false;
    bool meta = false;
};

struct FocusData {
    bool focused;
};

// resizing is false for a completed change (client size) and true while the
// user drags the frame (outer window size).
struct ResizeData {
    std::uint32_t width;
    std::uint32_t height;
    bool resizing;
};

struct DpiData {
    float scale; // dots per inch / 96
};

struct KeyboardData {
    Key key;
    ButtonAction action;
    ModifierState modifiers;
};

// x and y are -1 when that coordinate lies outside the client rectangle;
// pointerX and pointerY are the message's coordinates, never replaced.
struct MouseMoveData {
    std::int32_t x;
    std::int32_t y;
    std::int32_t pointerX;
    std::int32_t pointerY;
    std::int32_t deltaX;
    std::int32_t deltaY;
};

struct RawMouseData {
    std::int32_t deltaX;
    std::int32_t deltaY;
};

struct MouseWheelData {
    double delta; // whole notches, positive away from the user
    ModifierState modifiers;
};

struct MouseButtonData {
    PointerButton button;
    ButtonAction action;
    ModifierState modifiers;
};

// Only the member that belongs to the event's type is meaningful.
union EventData {
    EventData() : focus{} {}

    FocusData focus;
    ResizeData resize;
    DpiData dpi;
    KeyboardData keyboard;
    MouseMoveData mouseMove;
    RawMouseData rawMouse;
    MouseWheelData mouseWheel;
    MouseButtonData mouseButton;
};

// A plain value: it owns nothing, and the Window it names must outlive it.
struct Event {
    EventType type = EventType::None;
    Window* window = nullptr;
    EventData data;
};

Event makeEvent(EventType type, Window* window);
Event makeResizeEvent(Window* window, std::uint32_t width, std::uint32_t height, bool resizing);
