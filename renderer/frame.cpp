#include "renderer/d3d_helpers.h"
#include "renderer/desktop_view.h"
#include "renderer/renderer.h"

#include <cstring>

bool Renderer::render() {
    if (rebuilding()) {
        return continueRebuild();
    }
    if (!frameClock.beginFrame()) {
        return false;
    }
    recoveringFromDeviceLoss([this] { renderFrame(); });
    return true;
}

// One desktop frame: upload the constants, record, execute, present, and wait
// for the GPU, so the next frame finds every shared object idle.
void Renderer::renderFrame() {
    drawDesktop();
    // NOTE: a failed Present ends the program like every other checked call,
    // but for a lost device, which is built again; success codes such as
    // DXGI_STATUS_OCCLUDED are not failures.
    CHECK_HRESULT(swapchain->Present(1, 0));
    deviceLoss.framePresented();
    waitForGpu();
    frameIndex = swapchain->GetCurrentBackBufferIndex();
    if (vrSystem != nullptr && !vrQuitting) {
        renderVrFrame();
    }
}

// Uploads the constants and records and executes the desktop pass, which
// leaves the current back buffer ready to present.
void Renderer::drawDesktop() {
    // Projection and model keep what was written last: the last resize's
    // values, or once a VR frame has run, the right eye's of the last frame.
    uniforms.view = desktopView();
    uploadUniforms();
    recordCommands();
    ID3D12CommandList* lists[] = {commandList};
    commandQueue->ExecuteCommandLists(1, lists);
}

// Maps the constant buffer anew for every update; the address from the last
// mapping is not reused.
void Renderer::uploadUniforms() {
    const D3D12_RANGE nothingRead{0, 0};
    void* mapped = nullptr;
    CHECK_HRESULT(uniformBuffer->Map(0, &nothingRead, &mapped));
    mappedUniformBuffer = static_cast<std::uint8_t*>(mapped);
    std::memcpy(mappedUniformBuffer, &uniforms, sizeof(uniforms));
    uniformBuffer->Unmap(0, &nothingRead);
}

// Records the desktop frame: clear the current back buffer and draw the cube.
// Without a pipeline state (a shader that did not compile) it only clears.
void Renderer::recordCommands() {
    CHECK_HRESULT(commandAllocator->Reset());
    CHECK_HRESULT(commandList->Reset(commandAllocator, pipelineState));
    if (rootSignature != nullptr) {
        commandList->SetGraphicsRootSignature(rootSignature);
    }
    commandList->RSSetViewports(1, &viewport);
    commandList->RSSetScissorRects(1, &scissorRect);
    commandList->SetDescriptorHeaps(1, &uniformBufferHeap);
    if (rootSignature != nullptr) {
        commandList->SetGraphicsRootDescriptorTable(
            0, uniformBufferHeap->GetGPUDescriptorHandleForHeapStart());
    }
    const D3D12_RESOURCE_BARRIER toTarget =
        transitionBarrier(renderTargets[frameIndex], D3D12_RESOURCE_STATE_PRESENT,
                          D3D12_RESOURCE_STATE_RENDER_TARGET);
    commandList->ResourceBarrier(1, &toTarget);

    const D3D12_CPU_DESCRIPTOR_HANDLE target =
        offsetHandle(rtvHeap->GetCPUDescriptorHandleForHeapStart(), frameIndex * rtvDescriptorSize);
    commandList->OMSetRenderTargets(1, &target, FALSE, nullptr);
    commandList->ClearRenderTargetView(target, clearColor, 0, nullptr);
    if (canDraw()) {
        drawCube();
    }

    const D3D12_RESOURCE_BARRIER toPresent =
        transitionBarrier(renderTargets[frameIndex], D3D12_RESOURCE_STATE_RENDER_TARGET,
                          D3D12_RESOURCE_STATE_PRESENT);
    commandList->ResourceBarrier(1, &toPresent);
    CHECK_HRESULT(commandList->Close());
}

// Records the indexed cube with the pipeline's geometry buffers.
void Renderer::drawCube() {
    commandList->IASetPrimitiveTopology(D3D_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    commandList->IASetVertexBuffers(0, 1, &vertexBufferView);
    commandList->IASetIndexBuffer(&indexBufferView);
    commandList->DrawIndexedInstanced(static_cast<UINT>(cubeIndexCount), 1, 0, 0, 0);
}
