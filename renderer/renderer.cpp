#include "renderer/renderer.h"

#include <windows.h>

namespace {
// Keeps the stand-in from spinning a core while it has nothing to draw.
constexpr DWORD idleFrameMilliseconds = 16;
} // namespace

Renderer::Renderer(Window&) {}

void Renderer::resize(std::uint32_t, std::uint32_t) {}

void Renderer::render() {
    Sleep(idleFrameMilliseconds);
}
