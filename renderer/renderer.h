#pragma once

#include "renderer/device_loss.h"
#include "renderer/frame_clock.h"
#include "renderer/graphics_error.h"
#include "renderer/scene_data.h"
#include "vr/openvr_abi.h"
#include "vr/vr_runtime.h"

#include <d3d12.h>
#include <dxgi1_4.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class Window;
struct VrSessionStart;
class VrSessionOpening;

// Owns the whole graphics state of the process: the cube, the constants handed
// to the shaders, every Direct3D 12 and DXGI object, and the VR session with
// its eye targets. Constructed once the window exists; destroyed before it.
class Renderer {
public:
    // Takes over the VR session when it is open.
    Renderer(Window& window, const VrSessionStart& vrSession);
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Rebuilds the swap chain's buffers and the size-dependent state.
    void resize(std::uint32_t width, std::uint32_t height);

    // Draws and presents a frame unless the last one is too recent; true when
    // it drew one (or built a lost device again instead).
    bool render();

    // How long until render() will draw again (or try again to build a lost
    // device); zero when a frame is due.
    std::chrono::nanoseconds timeUntilNextFrame() const;

    // Shuts the VR session down and releases every graphics object now, as
    // the destructor would, for an end that cannot wait for it; nothing but
    // the destructor may follow.
    void shutDown() noexcept { tearDown(); }

private:
    friend class RendererTestAccess;

    // Everything that belongs to the device: built at start and again after
    // the device was lost, released at the end and before that rebuild.
    void createDeviceObjects(std::uint32_t swapChainWidth, std::uint32_t swapChainHeight);
    void releaseDeviceObjects(bool flushFirst) noexcept;
    void tearDown() noexcept;
    void recoveringFromDeviceLoss(const std::function<void()>& step);
    void recoverDevice(const GraphicsError& loss);
    bool closeVrForRebuild();
    bool rebuilding() const { return vrReopening != nullptr || nextRebuild.has_value(); }
    bool continueRebuild();
    void takeReopenedVr(const VrSessionStart& session);
    void startRebuilding();
    void rebuildDevice();
    bool retryRebuild();
    void settleLostDevice() noexcept;

    // Device and swap chain.
    void createDevice();
    void resizeSwapChain(std::uint32_t width, std::uint32_t height);
    void prepareSwapChain(std::uint32_t width, std::uint32_t height);
    void createRenderTargetViews();
    void releaseBackBuffers();

    // Pipeline and GPU resources.
    void createPipeline();
    void createRootSignature();
    bool compileShaders(ID3DBlob*& vertexShader, ID3DBlob*& pixelShader);
    void createUniformBuffer();
    void createPipelineState(ID3DBlob* vertexShader, ID3DBlob* pixelShader);
    void createCommandList();
    void createGeometryBuffers();
    void createFenceEvent();
    ID3D12Resource* createUploadBuffer(std::uint64_t size, const void* content);

    // Frames.
    void renderFrame();
    void drawDesktop();
    void recordCommands();
    void drawCube();
    void uploadUniforms();
    void waitForGpu();
    // NOTE: without a pipeline state (a shader that did not compile) the
    // desktop and eye passes only clear: a draw recorded without one is
    // invalid, and the list it is in could not be executed.
    bool canDraw() const { return pipelineState != nullptr && rootSignature != nullptr; }

    void flushGpu() noexcept;

    // VR output.
    void startVr(const VrSessionStart& session);
    void stopVr();
    std::optional<std::uint64_t> headsetAdapter() const;
    void createEyeTextures();
    void renderVrFrame();
    bool runtimeAskedToQuit();
    vr::IVRCompositor* availableCompositor();
    void quitVr();
    void renderEye(std::uint32_t eye, ID3D12Resource* texture, const mat4& view,
                   const mat4& projection, float angleDegrees);
    void submitEyes();

    // Scene data.
    std::array<Vertex, cubeVertexCount> vertexData;
    std::array<std::uint32_t, cubeIndexCount> indexData;

    // VR output; null or zero while there is no VR session.
    vr::IVRSystem* vrSystem = nullptr;
    ID3D12Resource* eyeTextures[2] = {nullptr, nullptr};
    std::uint32_t eyeWidth = 0;
    std::uint32_t eyeHeight = 0;
    D3D12_CPU_DESCRIPTOR_HANDLE eyeRtvHandles[2] = {};
    ID3D12DescriptorHeap* eyeRtvHeap = nullptr;
    // Where each eye texture's last pass left it.
    D3D12_RESOURCE_STATES eyeTextureStates[2] = {D3D12_RESOURCE_STATE_COMMON,
                                                 D3D12_RESOURCE_STATE_COMMON};
    // Set once the runtime has asked the program to quit: no more VR frames.
    bool vrQuitting = false;

    // Frame timing: lastFrameTime, currentTime and animationAngle.
    FrameClock frameClock;

    // CPU copy of the constant buffer.
    UniformData uniforms{};

    // The eye textures as last submitted to the compositor.
    vr::D3D12TextureData_t eyeTextureData[2] = {};

    // The head pose of the last VR frame whose pose the runtime vouched for.
    HeadPoseTracker headPose;

    // What the compositor refuses, said when it starts and ends; and whether
    // the runtime was found without a compositor (said once).
    RefusalWatch submissionRefusals{"eye images"};
    RefusalWatch poseWaitRefusals{"pose waits"};
    bool compositorMissing = false;

    // Whether a lost device may be built again now; while the VR session
    // opens again for the rebuild, its opening; while a rebuild failed, when
    // it is tried again.
    DeviceLossBudget deviceLoss;
    std::unique_ptr<VrSessionOpening> vrReopening;
    RebuildRetries rebuildRetries;
    std::optional<RebuildRetries::Time> nextRebuild;

    // The window presented to; not owned.
    Window* window = nullptr;
    std::uint32_t width = 0;
    std::uint32_t height = 0;

    // Device objects.
    IDXGIFactory4* factory = nullptr;
    IDXGIAdapter1* adapter = nullptr;
    ID3D12Device* device = nullptr;
    ID3D12CommandQueue* commandQueue = nullptr;
    ID3D12CommandAllocator* commandAllocator = nullptr;
    ID3D12GraphicsCommandList* commandList = nullptr;

    // Swap chain and its back buffers.
    ID3D12DescriptorHeap* rtvHeap = nullptr;
    ID3D12Resource* renderTargets[2] = {nullptr, nullptr};
    IDXGISwapChain3* swapchain = nullptr;
    D3D12_VIEWPORT viewport{};
    D3D12_RECT scissorRect{};

    // Geometry and constants in upload heaps.
    ID3D12Resource* vertexBuffer = nullptr;
    ID3D12Resource* indexBuffer = nullptr;
    ID3D12Resource* uniformBuffer = nullptr;
    ID3D12DescriptorHeap* uniformBufferHeap = nullptr;
    std::uint8_t* mappedUniformBuffer = nullptr;
    D3D12_VERTEX_BUFFER_VIEW vertexBufferView{};
    D3D12_INDEX_BUFFER_VIEW indexBufferView{};
    std::uint32_t rtvDescriptorSize = 0;

    // Pipeline.
    ID3D12RootSignature* rootSignature = nullptr;
    ID3D12PipelineState* pipelineState = nullptr;

    // Synchronisation: one fence, waited on after every pass.
    std::uint32_t frameIndex = 0;
    HANDLE fenceEvent = nullptr;
    ID3D12Fence* fence = nullptr;
    std::uint64_t fenceValue = 0;
};
