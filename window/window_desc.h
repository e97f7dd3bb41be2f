#pragma once

#include <cstdint>
#include <string>

// How a window is to be made. Copied whole by Window::create and getDesc.
struct WindowDesc {
    // Left and top of the rectangle adjusted for the frame; never a screen
    // position.
    std::int32_t x = 0;
    std::int32_t y = 0;
    // Requested size; also the renderer's first back-buffer size.
    std::int32_t width = 1920;
    std::int32_t height = 1080;
    // Minimum tracking size reported on WM_GETMINMAXINFO.
    std::int32_t minWidth = 0;
    std::int32_t minHeight = 0;
    // No maximum size is enforced; these are not read.
    std::int32_t maxWidth = 65535;
    std::int32_t maxHeight = 65535;

    // Switches this back end does not read; they keep their place and default.
    bool movable = true;
    bool closable = true;
    bool minimizable = true;
    bool maximizable = true;
    bool resizable = true;
    bool centered = true;
    bool hasShadow = true;

    // 0xRRGGBBAA; the alpha byte is ignored when painting.
    std::uint32_t backgroundColor = 0xFFFFFFFF;
    bool transparent = false; // not read

    // false: no window menu, and the client area reaches over the caption.
    bool nativeFrame = true;
    bool showInTaskbar = true; // not read
    bool visible = true;
    bool fullscreen = false;
    bool modal = false; // not read

    std::string title = "Lumbrava";
    std::string name = "LumbApp"; // window class name, one class per name
    std::string iconPath;         // not read
};
