#include "renderer/renderer.h"

#include "renderer/d3d_helpers.h"
#include "vr/vr_session.h"
#include "window/window.h"

#include <algorithm>
#include <iostream>

namespace {

// How long the GPU's last work may take to finish before a lost device's
// objects are released regardless.
constexpr DWORD lostDeviceWaitMilliseconds = 1000;

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

// NOTE: the VR session is open before the device, because the runtime names
// the adapter the device must be made on; its eye targets follow the device.
// NOTE: a construction that fails releases what it built and shuts the VR
// session down before the failure leaves it, as the destructor would: left
// alive until the process ends, the session is never told and the device's
// worker threads are still running while the process exits.
Renderer::Renderer(Window& targetWindow, const VrSessionStart& vrSession)
    : vertexData(cubeVertices()), indexData(cubeIndices()), window(&targetWindow) {
    startVr(vrSession);
    try {
        const WindowDesc desc = targetWindow.getDesc();
        createDeviceObjects(static_cast<std::uint32_t>(desc.width),
                            static_cast<std::uint32_t>(desc.height));
        recordCommands();
    } catch (...) {
        tearDown();
        throw;
    }
    frameClock.start();
}

Renderer::~Renderer() {
    tearDown();
}

// The VR runtime first (a session still opening for a rebuild is waited for
// and closed), then everything the device owns.
void Renderer::tearDown() noexcept {
    vrReopening.reset();
    if (vrSystem != nullptr) {
        stopVr();
    }
    releaseDeviceObjects(true);
}

// The order is fixed: the pipeline copies the uniforms that the swap chain's
// creation sets, and a recording needs the pipeline, the buffers and
// frameIndex.
void Renderer::createDeviceObjects(std::uint32_t swapChainWidth, std::uint32_t swapChainHeight) {
    createDevice();
    resizeSwapChain(swapChainWidth, swapChainHeight);
    if (vrSystem != nullptr) {
        createEyeTextures();
    }
    createPipeline();
    createFenceEvent();
    waitForGpu();
    frameIndex = swapchain->GetCurrentBackBufferIndex();
}

// Releases in a fixed order: the swap chain before the final flush, and
// everything the GPU may still use only after it. A lost device is not
// flushed: settleLostDevice went before.
void Renderer::releaseDeviceObjects(bool flushFirst) noexcept {
    if (swapchain != nullptr) {
        swapchain->SetFullscreenState(FALSE, nullptr);
        releaseAndNull(swapchain);
    }
    if (commandList != nullptr) {
        if (flushFirst) {
            flushGpu();
        }
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
        if (flushFirst) {
            tearDownStep([this] { CHECK_HRESULT(commandAllocator->Reset()); });
        }
        releaseAndNull(commandAllocator);
    }
    releaseAndNull(commandQueue);
    releaseAndNull(device);
    releaseAndNull(adapter);
    releaseAndNull(factory);
}

// A step of the frames (a frame, a resize) whose lost device is built again.
// Every other failure, and a loss before a frame was presented on the rebuilt
// device, end the program as before.
void Renderer::recoveringFromDeviceLoss(const std::function<void()>& step) {
    try {
        step();
    } catch (const GraphicsError& failure) {
        if (!isDeviceLost(failure.hresult()) || !deviceLoss.mayRecover()) {
            throw;
        }
        recoverDevice(failure);
    }
}

// NOTE: a lost device (removed, hung or reset: a driver update or restart, a
// GPU reset, a laptop switching GPUs) is built again instead of ending the
// program. Everything that belongs to it is released and made anew with the
// same checks as at start, on the same window at its current size; the
// window, the event queue, the pipe thread and the angle stay, and the
// compositor gets the new device's textures and queue.
void Renderer::recoverDevice(const GraphicsError& loss) {
    const std::int32_t reason =
        device != nullptr ? static_cast<std::int32_t>(device->GetDeviceRemovedReason()) : 0;
    std::cerr << "The graphics device was lost: " << loss.what() << "; removal reason "
              << hresultText(reason) << ". Building it again." << std::endl;
    deviceLoss.recovering();
    settleLostDevice();
    const bool reopenVr = closeVrForRebuild();
    releaseDeviceObjects(false);
    if (reopenVr) {
        vrReopening = std::make_unique<VrSessionOpening>();
        return;
    }
    startRebuilding();
}

// NOTE: with a VR session, a lost device is built again between the
// session's shutdown and its opening again, not under the open session. A
// runtime keeps what Submit was given (the eye textures and their queue, and
// with them the device) until the session is shut down, and Windows makes no
// new device on an adapter while the lost one lives: under the open session
// no rebuild could succeed. The runtime's events are read first, so a Quit it
// already sent still ends the program; then the session is shut down before
// the device's objects are released, opened again on a thread of its own as
// at start while the window answers, and the new device is made on the
// adapter the reopened session names, with eye targets of the size it
// recommends. Meanwhile the headset shows the runtime's own waiting view.
// True when the session is to be opened again.
bool Renderer::closeVrForRebuild() {
    if (vrSystem == nullptr) {
        return false;
    }
    if (!vrQuitting && runtimeAskedToQuit()) {
        quitVr();
    }
    stopVr();
    return !vrQuitting;
}

// While there is no device: the reopened session once it is open, then the
// rebuild and its retries. True when a rebuild was tried.
bool Renderer::continueRebuild() {
    if (vrReopening == nullptr) {
        return retryRebuild();
    }
    if (!vrReopening->finished()) {
        return false;
    }
    takeReopenedVr(vrReopening->take());
    vrReopening.reset();
    startRebuilding();
    return true;
}

// Takes over the session opened again for a rebuild, or says why there is
// none: the desktop goes on without VR then.
void Renderer::takeReopenedVr(const VrSessionStart& session) {
    if (session.open()) {
        startVr(session);
        return;
    }
    std::cerr << "The VR session did not open again after the graphics device was lost: "
              << vrSessionFailure(session) << ". The desktop goes on without VR." << std::endl;
}

void Renderer::startRebuilding() {
    rebuildRetries.start(std::chrono::steady_clock::now());
    rebuildDevice();
}

// NOTE: a rebuild that fails is tried again, after short pauses, for about
// ten seconds (RebuildRetries) before the failure ends the program: a driver
// that restarts refuses new devices for seconds. Meanwhile there is no
// device: the main loop answers the window's messages, resizes only note the
// size, and the VR session stays open with the runtime's events still read,
// but the runtime gets neither pose waits nor eye images.
void Renderer::rebuildDevice() {
    try {
        // Without the start-up's first recording, which is never executed:
        // Wine's Direct3D 12 makes a new resource's first layout transition
        // when a list is recorded, not when it runs, so a fresh back buffer
        // would reach its first Present in no defined layout.
        createDeviceObjects(width, height);
        nextRebuild.reset();
    } catch (const GraphicsError&) {
        releaseDeviceObjects(false);
        nextRebuild = rebuildRetries.next(std::chrono::steady_clock::now());
        if (!nextRebuild) {
            throw;
        }
    }
}

// While there is no device: the runtime's events, and the next rebuild once
// its pause is over. True when a rebuild was tried.
bool Renderer::retryRebuild() {
    if (vrSystem != nullptr && !vrQuitting && runtimeAskedToQuit()) {
        quitVr();
    }
    if (std::chrono::steady_clock::now() < *nextRebuild) {
        return false;
    }
    rebuildDevice();
    return true;
}

std::chrono::nanoseconds Renderer::timeUntilNextFrame() const {
    if (vrReopening != nullptr) {
        return VrSessionOpening::waitSlice;
    }
    if (!nextRebuild) {
        return frameClock.timeUntilNextFrame();
    }
    return std::max(std::chrono::nanoseconds(0),
                    std::chrono::duration_cast<std::chrono::nanoseconds>(
                        *nextRebuild - std::chrono::steady_clock::now()));
}

// What was submitted before the loss was reported may still be running where
// the device is not really gone (one call reported the loss, the GPU goes on):
// its objects are released only once it is done, or after a bounded wait. The
// fence of a removed device reads UINT64_MAX and is not waited for, and a
// queue that refuses the signal is not waited for either.
void Renderer::settleLostDevice() noexcept {
    if (commandQueue == nullptr || fence == nullptr || fenceEvent == nullptr) {
        return;
    }
    const std::uint64_t value = fenceValue;
    if (FAILED(commandQueue->Signal(fence, value)) || fence->GetCompletedValue() >= value) {
        return;
    }
    if (SUCCEEDED(fence->SetEventOnCompletion(value, fenceEvent))) {
        WaitForSingleObjectEx(fenceEvent, lostDeviceWaitMilliseconds, FALSE);
    }
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
// ends here, so one allocator, list and constant buffer serve them all. The
// fence of a removed device reads UINT64_MAX: a lost device, never waited for.
void Renderer::waitForGpu() {
    const std::uint64_t value = fenceValue;
    CHECK_HRESULT(commandQueue->Signal(fence, value));
    ++fenceValue;
    const std::uint64_t completed = fence->GetCompletedValue();
    if (completed == UINT64_MAX) {
        throwGraphicsError("fence->GetCompletedValue() != UINT64_MAX", deviceRemovedResult,
                           __FILE__, __LINE__);
    }
    if (completed < value) {
        CHECK_HRESULT(fence->SetEventOnCompletion(value, fenceEvent));
        WaitForSingleObjectEx(fenceEvent, INFINITE, FALSE);
    }
}
