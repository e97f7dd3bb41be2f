#include "window/window_placement.h"

#include <algorithm>

namespace {

// The start of a span of this length that lies within [low, high) as far as
// it can, moved no further than needed.
std::int32_t within(std::int32_t start, std::int32_t length, std::int32_t low, std::int32_t high) {
    return std::max(low, std::min(start, high - length));
}

} // namespace

ScreenRect placeOnMonitor(std::int32_t width, std::int32_t height, ScreenRect monitor,
                          ScreenRect workArea) {
    const std::int32_t fittedWidth = std::min(width, workArea.width());
    const std::int32_t fittedHeight = std::min(height, workArea.height());
    const std::int32_t left = within(monitor.left + (monitor.width() - fittedWidth) / 2,
                                     fittedWidth, workArea.left, workArea.right);
    const std::int32_t top = within(monitor.top + (monitor.height() - fittedHeight) / 2,
                                    fittedHeight, workArea.top, workArea.bottom);
    return ScreenRect{left, top, left + fittedWidth, top + fittedHeight};
}
