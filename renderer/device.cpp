#include "renderer/adapter_choice.h"
#include "renderer/d3d_helpers.h"
#include "renderer/desktop_view.h"
#include "renderer/renderer.h"
#include "window/window.h"

#include <iostream>
#include <optional>
#include <vector>

namespace {

constexpr D3D_FEATURE_LEVEL minimumFeatureLevel = D3D_FEATURE_LEVEL_12_0;
constexpr DXGI_FORMAT backBufferFormat = DXGI_FORMAT_R8G8B8A8_UNORM;
constexpr UINT backBufferCount = 2;
// NOTE: Direct3D 12 takes viewport depths in 0 ... 1 only; a far depth of
// 1000 is clamped to 1 by a conforming driver anyway, and the validation layer
// rejects it. The near depth of 0.1 is kept.
constexpr float viewportMinDepth = 0.1f;
constexpr float viewportMaxDepth = 1.0f;

// A support test: asking without an output pointer creates nothing.
bool supportsMinimumFeatureLevel(IDXGIAdapter1* adapter) {
    return SUCCEEDED(
        D3D12CreateDevice(adapter, minimumFeatureLevel, __uuidof(ID3D12Device), nullptr));
}

// The adapter at index, or null past the last one.
// NOTE: a failure other than the end of the list is reported, not taken for
// an adapter.
IDXGIAdapter1* adapterAt(IDXGIFactory4* factory, UINT index) {
    IDXGIAdapter1* adapter = nullptr;
    const HRESULT found = factory->EnumAdapters1(index, &adapter);
    if (found == DXGI_ERROR_NOT_FOUND) {
        return nullptr;
    }
    if (FAILED(found)) {
        throwGraphicsError("factory->EnumAdapters1(index, &adapter)", found, __FILE__, __LINE__);
    }
    return adapter;
}

// Every adapter the factory lists, in enumeration order; the caller releases them.
std::vector<IDXGIAdapter1*> listAdapters(IDXGIFactory4* factory) {
    std::vector<IDXGIAdapter1*> adapters;
    for (UINT index = 0;; ++index) {
        IDXGIAdapter1* adapter = adapterAt(factory, index);
        if (adapter == nullptr) {
            return adapters;
        }
        adapters.push_back(adapter);
    }
}

// Whether the adapter can serve, and its identifier.
AdapterCandidate describeCandidate(IDXGIAdapter1* adapter) {
    AdapterCandidate candidate;
    candidate.usable = isHardwareAdapter(adapter) && supportsMinimumFeatureLevel(adapter);
    DXGI_ADAPTER_DESC1 desc{};
    if (candidate.usable && SUCCEEDED(adapter->GetDesc1(&desc))) {
        candidate.luid = luidValue(desc.AdapterLuid);
    }
    return candidate;
}

// The adapter the device is made on; null leaves the choice to the system.
// NOTE: with a VR session, the adapter the runtime names for the headset comes
// before the first hardware adapter: the compositor refuses eye textures made
// on any other, and on a laptop whose headset port is wired to the discrete
// GPU the first adapter is usually the integrated one. It is asked the
// Direct3D 12 way, by its LUID: an adapter's index can differ between
// factories (a per-program GPU preference on a hybrid laptop reorders them).
IDXGIAdapter1* chooseAdapter(IDXGIFactory4* factory, std::optional<std::uint64_t> headsetLuid) {
    std::vector<IDXGIAdapter1*> adapters = listAdapters(factory);
    std::vector<AdapterCandidate> candidates;
    for (IDXGIAdapter1* adapter : adapters) {
        candidates.push_back(describeCandidate(adapter));
    }
    const AdapterChoice choice = chooseAdapterIndex(candidates, headsetLuid);
    // With no usable adapter at all the device cannot be made, and that
    // failure says what there is to say.
    if (choice.index && !choice.notice.empty()) {
        std::cerr << choice.notice << std::endl;
    }
    IDXGIAdapter1* chosen = nullptr;
    for (std::size_t index = 0; index < adapters.size(); ++index) {
        if (choice.index == index) {
            chosen = adapters[index];
        } else {
            releaseAndNull(adapters[index]);
        }
    }
    return chosen;
}

DXGI_SWAP_CHAIN_DESC1 swapChainDescription(std::uint32_t width, std::uint32_t height) {
    DXGI_SWAP_CHAIN_DESC1 desc{};
    desc.Width = width;
    desc.Height = height;
    desc.Format = backBufferFormat;
    desc.Stereo = FALSE;
    desc.SampleDesc.Count = 1;
    desc.SampleDesc.Quality = 0;
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.BufferCount = backBufferCount;
    desc.Scaling = DXGI_SCALING_STRETCH;
    desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_DISCARD;
    desc.AlphaMode = DXGI_ALPHA_MODE_UNSPECIFIED;
    desc.Flags = 0;
    return desc;
}

} // namespace

void Renderer::createDevice() {
    const std::optional<std::uint64_t> headsetLuid = headsetAdapter();
    CHECK_HRESULT(CreateDXGIFactory2(0, IID_PPV_ARGS(&factory)));
    adapter = chooseAdapter(factory, headsetLuid);
    CHECK_HRESULT(D3D12CreateDevice(adapter, minimumFeatureLevel, IID_PPV_ARGS(&device)));
    device->SetName(L"Hello Triangle Device");

    D3D12_COMMAND_QUEUE_DESC queueDesc{};
    queueDesc.Type = D3D12_COMMAND_LIST_TYPE_DIRECT;
    queueDesc.Priority = D3D12_COMMAND_QUEUE_PRIORITY_NORMAL;
    queueDesc.Flags = D3D12_COMMAND_QUEUE_FLAG_NONE;
    queueDesc.NodeMask = 0;
    CHECK_HRESULT(device->CreateCommandQueue(&queueDesc, IID_PPV_ARGS(&commandQueue)));

    CHECK_HRESULT(device->CreateCommandAllocator(D3D12_COMMAND_LIST_TYPE_DIRECT,
                                                 IID_PPV_ARGS(&commandAllocator)));
    CHECK_HRESULT(device->CreateFence(0, D3D12_FENCE_FLAG_NONE, IID_PPV_ARGS(&fence)));
    // The fence starts at 0 and so does the count, so the swap chain's first
    // sizing never waits for the fence event that does not exist yet.
    fenceValue = 0;
}

// Without a device (a lost one not yet built again) only the size is kept,
// for the rebuild.
void Renderer::resize(std::uint32_t newWidth, std::uint32_t newHeight) {
    if (rebuilding()) {
        width = clampSwapChainSide(newWidth);
        height = clampSwapChainSide(newHeight);
        return;
    }
    recoveringFromDeviceLoss([&] { resizeSwapChain(newWidth, newHeight); });
}

// Every resize, even to the same size, waits for the GPU and rebuilds the back
// buffers, their views, the viewport, the scissor rectangle and the matrices.
// Without a swap chain yet, it makes one.
// NOTE: a resize drained after the native window was destroyed (a close
// request destroys it while messages are pumped, before the queued Resize
// events are handled) is ignored: the swap chain of a destroyed window cannot
// be resized, and getting its buffers afterwards aborts the process under Wine.
void Renderer::resizeSwapChain(std::uint32_t newWidth, std::uint32_t newHeight) {
    if (swapchain != nullptr && IsWindow(window->nativeHandle()) == FALSE) {
        return;
    }
    width = clampSwapChainSide(newWidth);
    height = clampSwapChainSide(newHeight);
    waitForGpu();
    releaseBackBuffers();
    prepareSwapChain(newWidth, newHeight);
    createRenderTargetViews();
}

// A swap chain is created with the size as given; only ResizeBuffers
// gets the clamped size.
void Renderer::prepareSwapChain(std::uint32_t requestedWidth, std::uint32_t requestedHeight) {
    scissorRect = D3D12_RECT{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    viewport = D3D12_VIEWPORT{0.0f,
                              0.0f,
                              static_cast<float>(width),
                              static_cast<float>(height),
                              viewportMinDepth,
                              viewportMaxDepth};
    uniforms.projection = desktopProjection(width, height);
    uniforms.view = identity();
    uniforms.model = identity();

    if (swapchain != nullptr) {
        // NOTE: a failed resize is fatal like every other checked call, but for
        // a lost device, which is built again: presenting from buffers that
        // were never made would show nothing new for ever.
        CHECK_HRESULT(
            swapchain->ResizeBuffers(backBufferCount, width, height, backBufferFormat, 0));
    } else {
        const DXGI_SWAP_CHAIN_DESC1 desc = swapChainDescription(requestedWidth, requestedHeight);
        IDXGISwapChain1* created = nullptr;
        CHECK_HRESULT(factory->CreateSwapChainForHwnd(commandQueue, window->nativeHandle(), &desc,
                                                      nullptr, nullptr, &created));
        const HRESULT queried = created->QueryInterface(IID_PPV_ARGS(&swapchain));
        created->Release();
        if (FAILED(queried)) {
            throwGraphicsError("created->QueryInterface(IID_PPV_ARGS(&swapchain))", queried,
                               __FILE__, __LINE__);
        }
    }
    frameIndex = swapchain->GetCurrentBackBufferIndex();
}

void Renderer::createRenderTargetViews() {
    const D3D12_DESCRIPTOR_HEAP_DESC heapDesc = descriptorHeapDescription(
        D3D12_DESCRIPTOR_HEAP_TYPE_RTV, backBufferCount, D3D12_DESCRIPTOR_HEAP_FLAG_NONE);
    CHECK_HRESULT(device->CreateDescriptorHeap(&heapDesc, IID_PPV_ARGS(&rtvHeap)));
    rtvDescriptorSize = device->GetDescriptorHandleIncrementSize(D3D12_DESCRIPTOR_HEAP_TYPE_RTV);

    D3D12_CPU_DESCRIPTOR_HANDLE handle = rtvHeap->GetCPUDescriptorHandleForHeapStart();
    for (UINT i = 0; i < backBufferCount; ++i) {
        CHECK_HRESULT(swapchain->GetBuffer(i, IID_PPV_ARGS(&renderTargets[i])));
        device->CreateRenderTargetView(renderTargets[i], nullptr, handle);
        handle = offsetHandle(handle, rtvDescriptorSize);
    }
}
