#include "renderer/scene_data.h"

std::array<Vertex, cubeVertexCount> cubeVertices() {
    return {{
        // z = +1
        {{-1, -1, 1}, {0, 0, 0}},
        {{1, -1, 1}, {0, 0, 0}},
        {{1, 1, 1}, {1, 1, 1}},
        {{-1, 1, 1}, {1, 1, 1}},
        // z = -1
        {{1, -1, -1}, {0, 0, 0}},
        {{-1, -1, -1}, {0, 0, 0}},
        {{-1, 1, -1}, {1, 1, 1}},
        {{1, 1, -1}, {1, 1, 1}},
        // x = -1
        {{-1, -1, -1}, {0, 0, 0}},
        {{-1, -1, 1}, {0, 0, 0}},
        {{-1, 1, 1}, {1, 1, 1}},
        {{-1, 1, -1}, {1, 1, 1}},
        // x = +1, with the yellow corner
        {{1, -1, 1}, {0, 0, 0}},
        {{1, -1, -1}, {0, 0, 0}},
        {{1, 1, -1}, {1, 1, 1}},
        {{1, 1, 1}, {1, 1, 0}},
        // y = +1
        {{-1, 1, 1}, {0, 0, 0}},
        {{1, 1, 1}, {0, 0, 0}},
        {{1, 1, -1}, {0, 0, 0}},
        {{-1, 1, -1}, {0, 0, 0}},
        // y = -1
        {{-1, -1, -1}, {0, 0, 0}},
        {{1, -1, -1}, {0, 0, 0}},
        {{1, -1, 1}, {0, 0, 0}},
        {{-1, -1, 1}, {0, 0, 0}},
    }};
}

std::array<std::uint32_t, cubeIndexCount> cubeIndices() {
    std::array<std::uint32_t, cubeIndexCount> indices{};
    for (std::uint32_t face = 0; face < 6; ++face) {
        const std::uint32_t b = 4 * face;
        const std::uint32_t faceIndices[6] = {b, b + 2, b + 1, b, b + 3, b + 2};
        for (std::uint32_t i = 0; i < 6; ++i) {
            indices[6 * face + i] = faceIndices[i];
        }
    }
    return indices;
}
