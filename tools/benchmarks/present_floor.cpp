// The pacing floor of the desktop benchmark: the program's own window, event
// queue, main loop and 16.666666 ms frame gate, with a renderer that only
// clears the back buffer and presents. Whatever the program's figures show
// beyond this floor's is the program's own drawing; what both show is the
// bench's (Wine, the CPU driver, the X server).
#include "app/main_loop.h"
#include "renderer/d3d_helpers.h"
#include "renderer/frame_clock.h"
#include "window/event_queue.h"
#include "window/window.h"

#include <dxgi1_4.h>

#include <algorithm>
#include <cstdio>
#include <exception>

namespace {

constexpr UINT bufferCount = 2;
constexpr float clearColor[4] = {0.2f, 0.2f, 0.2f, 1.0f};

class ClearingRenderer {
public:
    explicit ClearingRenderer(HWND window) {
        CHECK_HRESULT(CreateDXGIFactory2(0, IID_PPV_ARGS(&factory)));
        CHECK_HRESULT(D3D12CreateDevice(nullptr, D3D_FEATURE_LEVEL_11_0, IID_PPV_ARGS(&device)));
        const D3D12_COMMAND_QUEUE_DESC queueDesc{};
        CHECK_HRESULT(device->CreateCommandQueue(&queueDesc, IID_PPV_ARGS(&queue)));
        CHECK_HRESULT(device->CreateCommandAllocator(D3D12_COMMAND_LIST_TYPE_DIRECT,
                                                     IID_PPV_ARGS(&allocator)));
        CHECK_HRESULT(device->CreateCommandList(0, D3D12_COMMAND_LIST_TYPE_DIRECT, allocator,
                                                nullptr, IID_PPV_ARGS(&list)));
        CHECK_HRESULT(list->Close());
        CHECK_HRESULT(device->CreateFence(0, D3D12_FENCE_FLAG_NONE, IID_PPV_ARGS(&fence)));
        fenceEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        const D3D12_DESCRIPTOR_HEAP_DESC heapDesc = descriptorHeapDescription(
            D3D12_DESCRIPTOR_HEAP_TYPE_RTV, bufferCount, D3D12_DESCRIPTOR_HEAP_FLAG_NONE);
        CHECK_HRESULT(device->CreateDescriptorHeap(&heapDesc, IID_PPV_ARGS(&rtvHeap)));
        rtvSize = device->GetDescriptorHandleIncrementSize(D3D12_DESCRIPTOR_HEAP_TYPE_RTV);
        createSwapChain(window);
        clock.start();
    }

    ~ClearingRenderer() {
        waitForGpu();
        releaseBuffers();
        releaseAndNull(swapChain);
        releaseAndNull(rtvHeap);
        CloseHandle(fenceEvent);
        releaseAndNull(fence);
        releaseAndNull(list);
        releaseAndNull(allocator);
        releaseAndNull(queue);
        releaseAndNull(device);
        releaseAndNull(factory);
    }

    void resize(std::uint32_t width, std::uint32_t height) {
        waitForGpu();
        releaseBuffers();
        CHECK_HRESULT(swapChain->ResizeBuffers(bufferCount, std::max(width, 1u),
                                               std::max(height, 1u), DXGI_FORMAT_UNKNOWN, 0));
        createTargets();
    }

    bool render() {
        if (!clock.beginFrame()) {
            return false;
        }
        const UINT index = swapChain->GetCurrentBackBufferIndex();
        CHECK_HRESULT(allocator->Reset());
        CHECK_HRESULT(list->Reset(allocator, nullptr));
        const D3D12_RESOURCE_BARRIER toTarget = transitionBarrier(
            buffers[index], D3D12_RESOURCE_STATE_PRESENT, D3D12_RESOURCE_STATE_RENDER_TARGET);
        list->ResourceBarrier(1, &toTarget);
        const D3D12_CPU_DESCRIPTOR_HANDLE target =
            offsetHandle(rtvHeap->GetCPUDescriptorHandleForHeapStart(), index * rtvSize);
        list->ClearRenderTargetView(target, clearColor, 0, nullptr);
        const D3D12_RESOURCE_BARRIER toPresent = transitionBarrier(
            buffers[index], D3D12_RESOURCE_STATE_RENDER_TARGET, D3D12_RESOURCE_STATE_PRESENT);
        list->ResourceBarrier(1, &toPresent);
        CHECK_HRESULT(list->Close());
        ID3D12CommandList* lists[] = {list};
        queue->ExecuteCommandLists(1, lists);
        CHECK_HRESULT(swapChain->Present(1, 0));
        waitForGpu();
        return true;
    }

    std::chrono::nanoseconds timeUntilNextFrame() const { return clock.timeUntilNextFrame(); }

private:
    void createSwapChain(HWND window) {
        DXGI_SWAP_CHAIN_DESC1 desc{};
        desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
        desc.BufferCount = bufferCount;
        desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_DISCARD;
        IDXGISwapChain1* created = nullptr;
        CHECK_HRESULT(
            factory->CreateSwapChainForHwnd(queue, window, &desc, nullptr, nullptr, &created));
        const HRESULT queried = created->QueryInterface(IID_PPV_ARGS(&swapChain));
        created->Release();
        CHECK_HRESULT(queried);
        createTargets();
    }

    void createTargets() {
        for (UINT i = 0; i < bufferCount; ++i) {
            CHECK_HRESULT(swapChain->GetBuffer(i, IID_PPV_ARGS(&buffers[i])));
            device->CreateRenderTargetView(
                buffers[i], nullptr,
                offsetHandle(rtvHeap->GetCPUDescriptorHandleForHeapStart(), i * rtvSize));
        }
    }

    void releaseBuffers() {
        for (ID3D12Resource*& buffer : buffers) {
            releaseAndNull(buffer);
        }
    }

    void waitForGpu() {
        const std::uint64_t value = ++fenceValue;
        CHECK_HRESULT(queue->Signal(fence, value));
        if (fence->GetCompletedValue() < value) {
            CHECK_HRESULT(fence->SetEventOnCompletion(value, fenceEvent));
            WaitForSingleObject(fenceEvent, INFINITE);
        }
    }

    IDXGIFactory4* factory = nullptr;
    ID3D12Device* device = nullptr;
    ID3D12CommandQueue* queue = nullptr;
    ID3D12CommandAllocator* allocator = nullptr;
    ID3D12GraphicsCommandList* list = nullptr;
    ID3D12Fence* fence = nullptr;
    HANDLE fenceEvent = nullptr;
    std::uint64_t fenceValue = 0;
    ID3D12DescriptorHeap* rtvHeap = nullptr;
    UINT rtvSize = 0;
    IDXGISwapChain3* swapChain = nullptr;
    ID3D12Resource* buffers[bufferCount] = {};
    FrameClock clock;
};

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        EventQueue queue;
        Window window;
        WindowDesc desc;
        desc.name = "FloorWindow";
        desc.title = "Present floor";
        desc.visible = true;
        desc.width = 774;
        desc.height = 774;
        if (!window.create(desc, queue)) {
            std::fputs("fatal: could not create the window\n", stderr);
            return 1;
        }
        ClearingRenderer renderer(window.nativeHandle());
        runMainLoop(queue, window, renderer);
        return 0;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "fatal: %s\n", failure.what());
        return 1;
    }
}
