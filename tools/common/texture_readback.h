#pragma once

#include <d3d12.h>

#include <cstdint>
#include <vector>

// An 8-bit RGBA image with tightly packed rows.
struct RgbaImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels;

    const std::uint8_t* at(std::uint32_t x, std::uint32_t y) const {
        return &pixels[4 * (static_cast<std::size_t>(y) * width + x)];
    }
};

// Copies 2D textures back to the CPU through a given queue, with a command
// allocator, list and fence of its own. For tests and tools, not the program.
class TextureReadback {
public:
    explicit TextureReadback(ID3D12Device* device);
    ~TextureReadback();
    TextureReadback(const TextureReadback&) = delete;
    TextureReadback& operator=(const TextureReadback&) = delete;

    // Reads the texture, which is in `state` and is left in it. False when a
    // Direct3D call fails.
    bool read(ID3D12Resource* texture, D3D12_RESOURCE_STATES state, ID3D12CommandQueue* queue,
              RgbaImage& image);

private:
    bool copyAndWait(ID3D12Resource* texture, D3D12_RESOURCE_STATES state,
                     ID3D12CommandQueue* queue, ID3D12Resource* buffer,
                     const D3D12_PLACED_SUBRESOURCE_FOOTPRINT& footprint);

    ID3D12Device* device = nullptr;
    ID3D12CommandAllocator* allocator = nullptr;
    ID3D12GraphicsCommandList* list = nullptr;
    ID3D12Fence* fence = nullptr;
    std::uint64_t fenceValue = 0;
    HANDLE event = nullptr;
};
