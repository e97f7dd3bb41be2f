#pragma once

#include <cstdint>

// A rectangle in screen pixels, right and bottom exclusive.
struct ScreenRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
};

// Where a window of this outer size goes on its monitor: centred on the
// monitor, no larger than the monitor's work area (the screen less taskbars)
// and moved inside it, so its caption can always be grabbed.
ScreenRect placeOnMonitor(std::int32_t width, std::int32_t height, ScreenRect monitor,
                          ScreenRect workArea);
