#include "app/remote_angle.h"
#include "renderer/d3d_helpers.h"
#include "renderer/renderer.h"
#include "vr/vr_library.h"

#include <cstring>
#include <iostream>

namespace {

constexpr float eyeNearPlane = 0.01f;
constexpr float eyeFarPlane = 1000.0f;
constexpr vr::EVREye eyes[2] = {vr::Eye_Left, vr::Eye_Right};

vr::IVRCompositor* compositor() {
    std::string reason;
    const VrEntryPoints* entry = loadVrLibrary(reason);
    return entry != nullptr ? vrInterfaceCache().compositor(*entry) : nullptr;
}

void sayChange(const std::optional<std::string>& line) {
    if (line) {
        std::cerr << *line << std::endl;
    }
}

} // namespace

// The VR half of a rendered frame: the runtime's events, poses, both eye
// passes, both submissions. When the runtime hands out no compositor (its
// connection changed and the new one has none), the rest of the frame is
// skipped rather than called through null.
void Renderer::renderVrFrame() {
    if (runtimeAskedToQuit()) {
        quitVr();
        return;
    }
    vr::IVRCompositor* poseSource = availableCompositor();
    if (poseSource == nullptr) {
        return;
    }
    vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount] = {};
    const vr::EVRCompositorError waited =
        poseSource->WaitGetPoses(poses, vr::k_unMaxTrackedDeviceCount, nullptr, 0);
    sayChange(poseWaitRefusals.observe(waited));
    headPose.update(waited, poses[vr::k_unTrackedDeviceIndex_Hmd]);

    vr::HmdMatrix44_t projections[2];
    vr::HmdMatrix34_t eyeToHead[2];
    for (int e = 0; e < 2; ++e) {
        projections[e] = vr::projectionMatrix(*vrSystem, eyes[e], eyeNearPlane, eyeFarPlane);
    }
    for (int e = 0; e < 2; ++e) {
        eyeToHead[e] = vr::eyeToHeadTransform(*vrSystem, eyes[e]);
    }
    renderEyePair(remoteAngle, [&](std::uint32_t e, float angleDegrees) {
        renderEye(e, eyeTextures[e], eyeView(eyeToHead[e], headPose.pose()),
                  fromHmdMatrix44(projections[e]), angleDegrees);
    });
    submitEyes();
}

// Hands both finished eye textures to the compositor, left then right. The
// texture records live in the renderer so they outlast the calls.
void Renderer::submitEyes() {
    vr::Texture_t textures[2];
    for (int e = 0; e < 2; ++e) {
        eyeTextureData[e] = vr::D3D12TextureData_t{};
        eyeTextureData[e].m_pResource = eyeTextures[e];
        eyeTextureData[e].m_pCommandQueue = commandQueue;
        eyeTextureData[e].m_nNodeMask = 0;
        textures[e] =
            vr::Texture_t{&eyeTextureData[e], vr::TextureType_DirectX12, vr::ColorSpace_Gamma};
    }
    for (int e = 0; e < 2; ++e) {
        vr::IVRCompositor* target = availableCompositor();
        if (target == nullptr) {
            return;
        }
        sayChange(submissionRefusals.observe(
            target->Submit(eyes[e], &textures[e], nullptr, vr::Submit_Default)));
    }
}

// The compositor, or null; a runtime found without one is said once.
vr::IVRCompositor* Renderer::availableCompositor() {
    vr::IVRCompositor* found = compositor();
    if (found == nullptr && !compositorMissing) {
        std::cerr << "The VR runtime offers no compositor: the headset gets no pictures."
                  << std::endl;
    }
    compositorMissing = found == nullptr;
    return found;
}

// One complete eye pass into its own texture, ending with the GPU idle.
void Renderer::renderEye(std::uint32_t eye, ID3D12Resource* texture, const mat4& view,
                         const mat4& projection, float angleDegrees) {
    CHECK_HRESULT(commandAllocator->Reset());
    CHECK_HRESULT(commandList->Reset(commandAllocator, pipelineState));
    const D3D12_VIEWPORT eyeViewport{
        0.0f, 0.0f, static_cast<float>(eyeWidth), static_cast<float>(eyeHeight), 0.0f, 1.0f};
    const D3D12_RECT eyeScissor{0, 0, static_cast<LONG>(eyeWidth), static_cast<LONG>(eyeHeight)};
    commandList->RSSetViewports(1, &eyeViewport);
    commandList->RSSetScissorRects(1, &eyeScissor);
    const std::size_t side = eye == 0 ? 0 : 1;
    const D3D12_CPU_DESCRIPTOR_HANDLE target = eyeRtvHandles[side];
    const D3D12_RESOURCE_BARRIER toTarget =
        transitionBarrier(texture, eyeTextureStates[side], D3D12_RESOURCE_STATE_RENDER_TARGET);
    commandList->ResourceBarrier(1, &toTarget);
    commandList->OMSetRenderTargets(1, &target, FALSE, nullptr);
    commandList->ClearRenderTargetView(target, clearColor, 0, nullptr);

    uniforms.model = eyeModel(angleDegrees, view);
    uniforms.projection = projection;
    uploadUniforms();

    if (canDraw()) {
        commandList->SetGraphicsRootSignature(rootSignature);
        commandList->SetDescriptorHeaps(1, &uniformBufferHeap);
        commandList->SetGraphicsRootDescriptorTable(
            0, uniformBufferHeap->GetGPUDescriptorHandleForHeapStart());
        drawCube();
    }
    // NOTE: the pass leaves the texture as a shader resource, not in the
    // common state: the compositor reads submitted textures in that state and
    // leaves them so, and the next pass starts from it.
    const D3D12_RESOURCE_BARRIER toShaderResource = transitionBarrier(
        texture, D3D12_RESOURCE_STATE_RENDER_TARGET, D3D12_RESOURCE_STATE_PIXEL_SHADER_RESOURCE);
    commandList->ResourceBarrier(1, &toShaderResource);
    CHECK_HRESULT(commandList->Close());
    ID3D12CommandList* lists[] = {commandList};
    commandQueue->ExecuteCommandLists(1, lists);
    eyeTextureStates[side] = D3D12_RESOURCE_STATE_PIXEL_SHADER_RESOURCE;
    waitForGpu();
}
