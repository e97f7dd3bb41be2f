#include "renderer/desktop_view.h"

namespace {
// NOTE: the largest side of a 2D texture in Direct3D 12
// (D3D12_REQ_TEXTURE2D_U_OR_V_DIMENSION), not 65535: buffers any larger cannot
// be made, and a window can report up to 32767.
constexpr std::uint32_t largestSide = 16384;
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
