#pragma once

#include <cstdint>

class Window;

// Owns the graphics state of the process and draws into the window.
// NOTE: for now a stand-in with the interface the main loop drives; it draws
// nothing until the Direct3D 12 renderer takes its place.
class Renderer {
public:
    explicit Renderer(Window& window);
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    void resize(std::uint32_t width, std::uint32_t height);
    void render();
};
