#include "window/event.h"

Event makeEvent(EventType type, Window* window) {
    Event event;
    event.type = type;
    event.window = window;
    return event;
}

Event makeResizeEvent(Window* window, std::uint32_t width, std::uint32_t height, bool resizing) {
    Event event = makeEvent(EventType::Resize, window);
    event.data.resize = ResizeData{width, height, resizing};
    return event;
}
