#pragma once

#include "renderer/matrix.h"

#include <cstdint>

// The swap chain's sides are kept in 1 ... 16384: a minimised window's 0 x 0
// becomes 1 x 1.
std::uint32_t clampSwapChainSide(std::uint32_t side);

// The desktop projection for a swap chain of width x height.
// Fovy 45 is taken as radians, so the half-angle tangent is tan(22.5 rad), not
// tan(22.5 degrees); the desktop image and its tests depend on that value.
mat4 desktopProjection(std::uint32_t width, std::uint32_t height);

// The desktop view: the cube scaled by 500 around a viewer at its centre.
mat4 desktopView();
