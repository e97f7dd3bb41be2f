#include "renderer/d3d_helpers.h"
#include "renderer/renderer.h"
#include "window_fixture.h"

#include <cmath>
#include <cstring>
#include <vector>

// Reaches into the renderer to swap its projection and to read back what it
// drew.
class RendererTestAccess {
public:
    static void setProjection(Renderer& renderer, const mat4& projection) {
        renderer.uniforms.projection = projection;
    }
    static std::uint64_t fenceValue(const Renderer& renderer) { return renderer.fenceValue; }
    static std::uint32_t frameIndex(const Renderer& renderer) { return renderer.frameIndex; }

    struct Image {
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        std::vector<std::uint8_t> rgba; // tightly packed rows
        const std::uint8_t* pixel(std::uint32_t x, std::uint32_t y) const {
            return &rgba[4 * (static_cast<std::size_t>(y) * width + x)];
        }
    };

    // Copies a back buffer, which is in the present state between frames.
    static Image readBackBuffer(Renderer& renderer, std::uint32_t index) {
        ID3D12Resource* target = renderer.renderTargets[index];
        const D3D12_RESOURCE_DESC desc = target->GetDesc();
        D3D12_PLACED_SUBRESOURCE_FOOTPRINT footprint{};
        UINT rows = 0;
        UINT64 rowBytes = 0;
        UINT64 totalBytes = 0;
        renderer.device->GetCopyableFootprints(&desc, 0, 1, 0, &footprint, &rows, &rowBytes,
                                               &totalBytes);
        ID3D12Resource* readback = nullptr;
        const D3D12_HEAP_PROPERTIES heap = heapProperties(D3D12_HEAP_TYPE_READBACK);
        const D3D12_RESOURCE_DESC bufferDesc = bufferDescription(totalBytes);
        CHECK_HRESULT(renderer.device->CreateCommittedResource(
            &heap, D3D12_HEAP_FLAG_NONE, &bufferDesc, D3D12_RESOURCE_STATE_COPY_DEST, nullptr,
            IID_PPV_ARGS(&readback)));
        copyToBuffer(renderer, target, readback, footprint);

        Image image;
        image.width = static_cast<std::uint32_t>(desc.Width);
        image.height = desc.Height;
        image.rgba.resize(static_cast<std::size_t>(image.width) * image.height * 4);
        void* mapped = nullptr;
        CHECK_HRESULT(readback->Map(0, nullptr, &mapped));
        for (UINT row = 0; row < rows; ++row) {
            std::memcpy(&image.rgba[static_cast<std::size_t>(row) * image.width * 4],
                        static_cast<const std::uint8_t*>(mapped) + footprint.Offset +
                            static_cast<std::size_t>(row) * footprint.Footprint.RowPitch,
                        static_cast<std::size_t>(image.width) * 4);
        }
        readback->Unmap(0, nullptr);
        readback->Release();
        return image;
    }

private:
    static void copyToBuffer(Renderer& renderer, ID3D12Resource* target, ID3D12Resource* readback,
                             const D3D12_PLACED_SUBRESOURCE_FOOTPRINT& footprint) {
        ID3D12GraphicsCommandList* list = renderer.commandList;
        CHECK_HRESULT(renderer.commandAllocator->Reset());
        CHECK_HRESULT(list->Reset(renderer.commandAllocator, nullptr));
        const D3D12_RESOURCE_BARRIER toCopy = transitionBarrier(
            target, D3D12_RESOURCE_STATE_PRESENT, D3D12_RESOURCE_STATE_COPY_SOURCE);
        list->ResourceBarrier(1, &toCopy);
        D3D12_TEXTURE_COPY_LOCATION destination{};
        destination.pResource = readback;
        destination.Type = D3D12_TEXTURE_COPY_TYPE_PLACED_FOOTPRINT;
        destination.PlacedFootprint = footprint;
        D3D12_TEXTURE_COPY_LOCATION source{};
        source.pResource = target;
        source.Type = D3D12_TEXTURE_COPY_TYPE_SUBRESOURCE_INDEX;
        source.SubresourceIndex = 0;
        list->CopyTextureRegion(&destination, 0, 0, 0, &source, nullptr);
        const D3D12_RESOURCE_BARRIER back = transitionBarrier(
            target, D3D12_RESOURCE_STATE_COPY_SOURCE, D3D12_RESOURCE_STATE_PRESENT);
        list->ResourceBarrier(1, &back);
        CHECK_HRESULT(list->Close());
        ID3D12CommandList* lists[] = {list};
        renderer.commandQueue->ExecuteCommandLists(1, lists);
        renderer.waitForGpu();
    }
};

namespace {

// A right-handed projection looking down -z with depth 0 ... 1, as a VR
// runtime hands out for an eye.
mat4 rightHandedProjection(float fovy, float aspect, float nearPlane, float farPlane) {
    const float focal = 1.0f / std::tan(fovy / 2.0f);
    vr::HmdMatrix44_t m{};
    m.m[0][0] = focal / aspect;
    m.m[1][1] = focal;
    m.m[2][2] = farPlane / (nearPlane - farPlane);
    m.m[2][3] = nearPlane * farPlane / (nearPlane - farPlane);
    m.m[3][2] = -1.0f;
    return fromHmdMatrix44(m);
}

using RendererOnARealWindow = RealWindow;

// Renders until the frame gate lets a frame through.
void renderOneFrame(Renderer& renderer) {
    const std::uint64_t before = RendererTestAccess::fenceValue(renderer);
    for (int attempt = 0; attempt < 100 && RendererTestAccess::fenceValue(renderer) == before;
         ++attempt) {
        Sleep(5);
        renderer.render();
    }
    ASSERT_EQ(RendererTestAccess::fenceValue(renderer), before + 1);
}

TEST_F(RendererOnARealWindow, DrawsTheCubesGradientUnderAProjectionThatSeesItsFarFace) {
    Renderer renderer(window);
    RECT client{};
    GetClientRect(handle(), &client);
    const float aspect = static_cast<float>(client.right) / static_cast<float>(client.bottom);
    RendererTestAccess::setProjection(renderer,
                                      rightHandedProjection(1.5707964f, aspect, 0.01f, 1000.0f));
    const std::uint32_t drawnIndex = RendererTestAccess::frameIndex(renderer);
    renderOneFrame(renderer);
    EXPECT_NE(RendererTestAccess::frameIndex(renderer), drawnIndex); // presented and flipped

    const auto image = RendererTestAccess::readBackBuffer(renderer, drawnIndex);
    ASSERT_GT(image.height, 8u);
    const std::uint32_t x = image.width / 2;
    const std::uint8_t top = image.pixel(x, 2)[0];
    const std::uint8_t middle = image.pixel(x, image.height / 2)[0];
    const std::uint8_t bottom = image.pixel(x, image.height - 3)[0];
    // The face at z = -1 runs from black at its lower edge to white at its
    // upper edge, and fills the view at a 90 degree field of view.
    EXPECT_GT(top, 240);
    EXPECT_NEAR(middle, 128, 8);
    EXPECT_LT(bottom, 15);
    for (std::uint32_t y = 1; y < image.height; ++y) {
        ASSERT_LE(image.pixel(x, y)[0], image.pixel(x, y - 1)[0]) << "row " << y;
    }
    EXPECT_EQ(image.pixel(x, image.height / 2)[1], middle); // grey: r = g = b
    EXPECT_EQ(image.pixel(x, image.height / 2)[3], 255);
}

TEST_F(RendererOnARealWindow, WithTheDesktopMatricesOnlyTheClearColourIsSeen) {
    Renderer renderer(window);
    const std::uint32_t drawnIndex = RendererTestAccess::frameIndex(renderer);
    renderOneFrame(renderer);
    const auto image = RendererTestAccess::readBackBuffer(renderer, drawnIndex);
    for (std::uint32_t y : {0u, image.height / 2, image.height - 1}) {
        const std::uint8_t* pixel = image.pixel(image.width / 2, y);
        EXPECT_EQ(pixel[0], 51) << "row " << y; // 0.2 of 255
        EXPECT_EQ(pixel[1], 51);
        EXPECT_EQ(pixel[2], 51);
    }
}

} // namespace
