#include "renderer/desktop_view.h"

namespace {
constexpr std::uint32_t largestSide = 65535;
constexpr float fieldOfView = 45.0f;
constexpr float nearPlane = 0.01f;
constexpr float farPlane = 1024.0f;
constexpr float desktopScale = 500.0f;
} // namespace

std::uint32_t clampSwapChainSide(std::uint32_t side) {
    if (side == 0) {
        return 1;
    }
    return side > largestSide ? largestSide : side;
}

mat4 desktopProjection(std::uint32_t width, std::uint32_t height) {
    const float aspect = static_cast<float>(width) / static_cast<float>(height);
    return perspective(fieldOfView, aspect, nearPlane, farPlane);
}

mat4 desktopView() {
    return scale(desktopScale);
}
