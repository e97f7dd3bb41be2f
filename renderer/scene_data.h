#pragma once

#include "renderer/matrix.h"

#include <array>
#include <cstdint>

struct Vertex {
    float position[3]; // "POSITION", byte offset 0
    float color[3];    // "COLOR", byte offset 12
};
static_assert(sizeof(Vertex) == 24, "Vertex is tightly packed");

// The constant buffer's content: three column-major matrices, in this order.
struct UniformData {
    mat4 projection;
    mat4 view;
    mat4 model;
};
static_assert(sizeof(UniformData) == 192, "UniformData is three mat4");

// The background of the desktop window and of both eyes: 0.2 grey, opaque.
constexpr float clearColor[4] = {0.2f, 0.2f, 0.2f, 1.0f};

constexpr std::size_t cubeVertexCount = 24;
constexpr std::size_t cubeIndexCount = 36;

// Four vertices per face so every face carries its own colours: black along
// the lower and white along the upper edge of the side faces, black on top and
// bottom, and one yellow corner (vertex 15).
std::array<Vertex, cubeVertexCount> cubeVertices();

// Two triangles per face: b, b+2, b+1 and b, b+3, b+2 for the face's first
// vertex b.
std::array<std::uint32_t, cubeIndexCount> cubeIndices();
