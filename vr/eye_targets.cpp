#include "renderer/d3d_helpers.h"
#include "renderer/renderer.h"

namespace {

// Both eye textures alike: render targets of the recommended size in the
// pipeline's format, made in the common state, from which the first eye pass
// takes them.
D3D12_RESOURCE_DESC eyeTextureDescription(std::uint32_t width, std::uint32_t height) {
    D3D12_RESOURCE_DESC desc{};
    desc.Dimension = D3D12_RESOURCE_DIMENSION_TEXTURE2D;
    desc.Alignment = 0;
    desc.Width = width;
    desc.Height = height;
    desc.DepthOrArraySize = 1;
    desc.MipLevels = 1;
    desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.SampleDesc.Quality = 0;
    desc.Layout = D3D12_TEXTURE_LAYOUT_UNKNOWN;
    desc.Flags = D3D12_RESOURCE_FLAG_ALLOW_RENDER_TARGET;
    return desc;
}

// Only a hint to the driver; the eye passes clear to 0.2 grey.
D3D12_CLEAR_VALUE blackClearValue() {
    D3D12_CLEAR_VALUE clear{};
    clear.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    clear.Color[3] = 1.0f;
    return clear;
}

} // namespace

void Renderer::createEyeTextures() {
    if (device == nullptr) {
        return;
    }
    const D3D12_HEAP_PROPERTIES heap = heapProperties(D3D12_HEAP_TYPE_DEFAULT);
    const D3D12_RESOURCE_DESC desc = eyeTextureDescription(eyeWidth, eyeHeight);
    const D3D12_CLEAR_VALUE clear = blackClearValue();
    for (std::size_t eye = 0; eye < 2; ++eye) {
        ID3D12Resource*& texture = eyeTextures[eye];
        CHECK_HRESULT(device->CreateCommittedResource(&heap, D3D12_HEAP_FLAG_NONE, &desc,
                                                      D3D12_RESOURCE_STATE_COMMON, &clear,
                                                      IID_PPV_ARGS(&texture)));
        eyeTextureStates[eye] = D3D12_RESOURCE_STATE_COMMON;
    }

    const D3D12_DESCRIPTOR_HEAP_DESC heapDesc = descriptorHeapDescription(
        D3D12_DESCRIPTOR_HEAP_TYPE_RTV, 2, D3D12_DESCRIPTOR_HEAP_FLAG_NONE);
    CHECK_HRESULT(device->CreateDescriptorHeap(&heapDesc, IID_PPV_ARGS(&eyeRtvHeap)));
    const UINT increment = device->GetDescriptorHandleIncrementSize(D3D12_DESCRIPTOR_HEAP_TYPE_RTV);
    eyeRtvHandles[0] = eyeRtvHeap->GetCPUDescriptorHandleForHeapStart();
    eyeRtvHandles[1] = offsetHandle(eyeRtvHandles[0], increment);
    device->CreateRenderTargetView(eyeTextures[0], nullptr, eyeRtvHandles[0]);
    device->CreateRenderTargetView(eyeTextures[1], nullptr, eyeRtvHandles[1]);
}
