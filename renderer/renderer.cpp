#include "renderer/renderer.h"

#include "renderer/d3d_helpers.h"

#include <iostream>

namespace {

// NOTE: teardown never throws. A failure is reported and the rest is still
// released; thrown from the destructor while an earlier failure unwinds, it
// would end the process before that failure was reported.
template <typename Step> void tearDownStep(Step step) noexcept {
    try {
        step();
    } catch (const std::exception& failure) {
        std::cerr << "teardown: " << failure.what() << std::endl;
    }
}

} // namespace

// The order is fixed: the pipeline copies the uniforms that the first resize
// sets, and the first recording needs the pipeline, the buffers and frameIndex.
// NOTE: the VR session opens before the device, because the runtime names the
// adapter the device must be made on; its eye targets follow the device.
Renderer::Renderer(Window& window) : vertexData(cubeVertices()), indexData(cubeIndices()) {
    startVr();
    createDevice(window);
    if (vrSystem != nullptr) {
        createEyeTextures();
    }
    createPipeline();
    recordCommands();
    frameClock.start();
}

// Teardown in a fixed order: the VR runtime first, the swap chain before the
// final flush, and everything the GPU may still use only after it.
Renderer::~Renderer() {
    if (vrSystem != nullptr) {
        stopVr();
    }
    if (swapchain != nullptr) {
        swapchain->SetFullscreenState(FALSE, nullptr);
        releaseAndNull(swapchain);
    }
    if (commandList != nullptr) {
        flushGpu();
        releaseAndNull(commandList);
    }
    releaseBackBuffers();
    if (fenceEvent != nullptr) {
        CloseHandle(fenceEvent);
        fenceEvent = nullptr;
    }
    releaseAndNull(pipelineState);
    releaseAndNull(rootSignature);
    releaseAndNull(vertexBuffer);
    releaseAndNull(indexBuffer);
    releaseAndNull(uniformBuffer);
    releaseAndNull(uniformBufferHeap);
    releaseAndNull(fence);
    releaseAndNull(eyeTextures[0]);
    releaseAndNull(eyeTextures[1]);
    releaseAndNull(eyeRtvHeap);
    if (commandAllocator != nullptr) {
        tearDownStep([this] { CHECK_HRESULT(commandAllocator->Reset()); });
        releaseAndNull(commandAllocator);
    }
    releaseAndNull(commandQueue);
    releaseAndNull(device);
    releaseAndNull(adapter);
    releaseAndNull(factory);
}

void Renderer::releaseBackBuffers() {
    releaseAndNull(renderTargets[0]);
    releaseAndNull(renderTargets[1]);
    releaseAndNull(rtvHeap);
}

// Executes an emptied command list and waits until the GPU has finished
// everything submitted before it.
// NOTE: the list's Reset is checked too: a list that could not be reset (its
// last recording failed) or closed is never executed; the wait still runs.
void Renderer::flushGpu() noexcept {
    tearDownStep([this] {
        CHECK_HRESULT(commandList->Reset(commandAllocator, pipelineState));
        commandList->ClearState(pipelineState);
        CHECK_HRESULT(commandList->Close());
        ID3D12CommandList* lists[] = {commandList};
        commandQueue->ExecuteCommandLists(1, lists);
    });
    tearDownStep([this] { waitForGpu(); });
}

// Signals the next fence value and blocks until the GPU reaches it. Every pass
// ends here, so one allocator, list and constant buffer serve them all.
void Renderer::waitForGpu() {
    const std::uint64_t value = fenceValue;
    CHECK_HRESULT(commandQueue->Signal(fence, value));
    ++fenceValue;
    if (fence->GetCompletedValue() < value) {
        CHECK_HRESULT(fence->SetEventOnCompletion(value, fenceEvent));
        WaitForSingleObjectEx(fenceEvent, INFINITE, FALSE);
    }
}
