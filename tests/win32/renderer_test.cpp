#include "renderer/d3d_helpers.h"
#include "renderer/renderer.h"
#include "tools/common/texture_readback.h"
#include "vr/vr_session.h"
#include "window_fixture.h"

#include <cmath>
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

    // Draws a desktop frame as render() does but reads the back buffer before
    // it is presented: a flip-discard buffer's contents are undefined after.
    static RgbaImage drawAndReadBeforePresent(Renderer& renderer) {
        renderer.drawDesktop();
        renderer.waitForGpu();
        TextureReadback readback(renderer.device);
        RgbaImage image;
        EXPECT_TRUE(readback.read(renderer.renderTargets[renderer.frameIndex],
                                  D3D12_RESOURCE_STATE_PRESENT, renderer.commandQueue, image));
        return image;
    }
};

namespace {

// An adapter that only describes itself, with the result and flags given.
class DescribedAdapter : public IDXGIAdapter1 {
public:
    DescribedAdapter(HRESULT result, UINT flags) : result(result), flags(flags) {}

    HRESULT STDMETHODCALLTYPE GetDesc1(DXGI_ADAPTER_DESC1* desc) override {
        *desc = DXGI_ADAPTER_DESC1{};
        desc->Flags = flags;
        return result;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, UINT, const void*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetPrivateDataInterface(REFGUID, const IUnknown*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetParent(REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumOutputs(UINT, IDXGIOutput**) override {
        return DXGI_ERROR_NOT_FOUND;
    }
    HRESULT STDMETHODCALLTYPE GetDesc(DXGI_ADAPTER_DESC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CheckInterfaceSupport(REFGUID, LARGE_INTEGER*) override {
        return E_NOTIMPL;
    }

private:
    HRESULT result;
    UINT flags;
};

TEST(AdapterChoice, OnlyAnAdapterDescribedAsNotSoftwareCountsAsHardware) {
    DescribedAdapter hardware(S_OK, 0);
    DescribedAdapter software(S_OK, DXGI_ADAPTER_FLAG_SOFTWARE);
    DescribedAdapter unreadable(DXGI_ERROR_DEVICE_REMOVED, 0);
    EXPECT_TRUE(isHardwareAdapter(&hardware));
    EXPECT_FALSE(isHardwareAdapter(&software));
    EXPECT_FALSE(isHardwareAdapter(&unreadable));
}

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
    Renderer renderer(window, openVrSession());
    RECT client{};
    GetClientRect(handle(), &client);
    const float aspect = static_cast<float>(client.right) / static_cast<float>(client.bottom);
    RendererTestAccess::setProjection(renderer,
                                      rightHandedProjection(1.5707964f, aspect, 0.01f, 1000.0f));
    const auto image = RendererTestAccess::drawAndReadBeforePresent(renderer);
    ASSERT_GT(image.height, 8u);
    const std::uint32_t x = image.width / 2;
    const std::uint8_t top = image.at(x, 2)[0];
    const std::uint8_t middle = image.at(x, image.height / 2)[0];
    const std::uint8_t bottom = image.at(x, image.height - 3)[0];
    // The face at z = -1 runs from black at its lower edge to white at its
    // upper edge, and fills the view at a 90 degree field of view.
    EXPECT_GT(top, 240);
    EXPECT_NEAR(middle, 128, 8);
    EXPECT_LT(bottom, 15);
    for (std::uint32_t y = 1; y < image.height; ++y) {
        ASSERT_LE(image.at(x, y)[0], image.at(x, y - 1)[0]) << "row " << y;
    }
    EXPECT_EQ(image.at(x, image.height / 2)[1], middle); // grey: r = g = b
    EXPECT_EQ(image.at(x, image.height / 2)[3], 255);
}

TEST_F(RendererOnARealWindow, WithTheDesktopMatricesOnlyTheClearColourIsSeen) {
    Renderer renderer(window, openVrSession());
    const auto image = RendererTestAccess::drawAndReadBeforePresent(renderer);
    for (std::uint32_t y : {0u, image.height / 2, image.height - 1}) {
        const std::uint8_t* pixel = image.at(image.width / 2, y);
        EXPECT_EQ(pixel[0], 51) << "row " << y; // 0.2 of 255
        EXPECT_EQ(pixel[1], 51);
        EXPECT_EQ(pixel[2], 51);
    }
}

TEST_F(RendererOnARealWindow, ARenderedFramePresentsAndMovesToTheNextBackBuffer) {
    Renderer renderer(window, openVrSession());
    const std::uint32_t drawnIndex = RendererTestAccess::frameIndex(renderer);
    renderOneFrame(renderer); // one fence signal more
    EXPECT_NE(RendererTestAccess::frameIndex(renderer), drawnIndex);
}

} // namespace
