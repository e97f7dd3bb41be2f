#pragma once

// The part of the VR client library's binary interface that the program uses,
// declared here because no SDK is available to build against. Layouts are
// those of the library's Windows x64 build (pack 8, natural alignment).

#include <cstddef>
#include <cstdint>

struct ID3D12Resource;
struct ID3D12CommandQueue;

namespace vr {

enum EVRInitError : std::int32_t {
    VRInitError_None = 0,
    VRInitError_Unknown = 1,
    VRInitError_Init_InstallationNotFound = 100,
    VRInitError_Init_VRClientDLLNotFound = 102,
    VRInitError_Init_InterfaceNotFound = 105,
    VRInitError_Init_HmdNotFound = 108,
    VRInitError_Init_NotInitialized = 109,
    VRInitError_Init_NoServerForBackgroundApp = 121,
    VRInitError_Driver_Failed = 200,
    VRInitError_IPC_ConnectFailed = 301,
    VRInitError_Compositor_Failed = 400,
};

enum EVRCompositorError : std::int32_t {
    VRCompositorError_None = 0,
    VRCompositorError_RequestFailed = 1,
    VRCompositorError_DoNotHaveFocus = 101,
    VRCompositorError_InvalidTexture = 102,
    VRCompositorError_IsNotSceneApplication = 103,
    VRCompositorError_TextureIsOnWrongDevice = 104,
    VRCompositorError_AlreadySubmitted = 108,
};

enum EVREye : std::int32_t { Eye_Left = 0, Eye_Right = 1 };
enum EVRApplicationType : std::int32_t { VRApplication_Scene = 1 };
enum ETextureType : std::int32_t { TextureType_DirectX12 = 4 };
enum EColorSpace : std::int32_t {
    ColorSpace_Auto = 0,
    ColorSpace_Gamma = 1,
    ColorSpace_Linear = 2
};
enum EVRSubmitFlags : std::int32_t { Submit_Default = 0 };
enum ETrackingResult : std::int32_t {
    TrackingResult_Uninitialized = 1,
    TrackingResult_Running_OK = 200,
    TrackingResult_Running_OutOfRange = 201,
};
enum ETrackingUniverseOrigin : std::int32_t {};
struct VkInstance_T; // Vulkan's instance, named only by the adapter query

constexpr std::uint32_t k_unMaxTrackedDeviceCount = 64;
constexpr std::uint32_t k_unTrackedDeviceIndex_Hmd = 0;
constexpr const char* IVRSystem_Version = "IVRSystem_022";
constexpr const char* IVRCompositor_Version = "IVRCompositor_028";
// What runtimes before "IVRCompositor_028" offer: slots 0 to 5, all that the
// program calls, are the same in both.
constexpr const char* IVRCompositor_OlderVersion = "IVRCompositor_027";

// Row-major 3 x 4 affine transform acting on column vectors; metres,
// right-handed, +y up, -z forward.
struct HmdMatrix34_t {
    float m[3][4];
};

// Row-major 4 x 4 matrix, such as an eye projection.
struct HmdMatrix44_t {
    float m[4][4];
};

struct HmdVector3_t {
    float v[3];
};

struct TrackedDevicePose_t {
    HmdMatrix34_t mDeviceToAbsoluteTracking;
    HmdVector3_t vVelocity;
    HmdVector3_t vAngularVelocity;
    ETrackingResult eTrackingResult;
    bool bPoseIsValid;
    bool bDeviceIsConnected;
};

struct Texture_t {
    void* handle; // a D3D12TextureData_t for TextureType_DirectX12
    ETextureType eType;
    EColorSpace eColorSpace;
};

struct VRTextureBounds_t {
    float uMin;
    float vMin;
    float uMax;
    float vMax;
};

// The runtime's events. Only the quit request is acted on.
enum EVREventType : std::uint32_t {
    VREvent_Quit = 700,        // the runtime asks the application to exit
    VREvent_ProcessQuit = 701, // another process quit
    VREvent_QuitAcknowledged = 703,
    VREvent_DriverRequestedQuit = 704,
};

struct VREvent_Process_t {
    std::uint32_t pid;
    std::uint32_t oldPid;
    bool bForced;
    bool bConnectionLost;
};

union VREvent_Data_t {
    VREvent_Process_t process;
    std::uint64_t reserved[6]; // the union's full 48 bytes, 8-aligned
};

struct VREvent_t {
    std::uint32_t eventType;
    std::uint32_t trackedDeviceIndex;
    float eventAgeSeconds;
    VREvent_Data_t data;
};

struct D3D12TextureData_t {
    ID3D12Resource* m_pResource;
    ID3D12CommandQueue* m_pCommandQueue;
    std::uint32_t m_nNodeMask;
};

static_assert(sizeof(HmdMatrix34_t) == 48, "HmdMatrix34_t is 48 bytes");
static_assert(sizeof(HmdMatrix44_t) == 64, "HmdMatrix44_t is 64 bytes");
static_assert(sizeof(TrackedDevicePose_t) == 80, "TrackedDevicePose_t is 80 bytes");
static_assert(sizeof(VREvent_t) == 64, "VREvent_t is 64 bytes");
static_assert(offsetof(VREvent_t, data) == 16, "the event data follows 4 bytes of padding");
static_assert(sizeof(void*) != 8 || sizeof(Texture_t) == 16, "Texture_t is 16 bytes on x64");
static_assert(sizeof(void*) != 8 || sizeof(D3D12TextureData_t) == 24,
              "D3D12TextureData_t is 24 bytes on x64");

// The runtime is built with MSVC, which passes `this` first and the
// hidden result pointer second for a member function returning a struct; GCC
// for MinGW swaps them. Declaring the result pointer explicitly as the first
// parameter makes GCC produce the MSVC layout, so only MSVC declares the
// natural by-value form. Use the accessors below rather than the slots.
#ifndef VR_STRUCT_RETURN_SLOTS
#if defined(_MSC_VER)
#define VR_STRUCT_RETURN_SLOTS 0
#else
#define VR_STRUCT_RETURN_SLOTS 1
#endif
#endif

// "IVRSystem_022". The program calls slots 0 to 4, 8, 29 and 43; the slots
// between are declared only to keep those at their places in the table, and
// their empty bodies let a stand-in runtime leave them out.
class IVRSystem {
public:
    virtual void GetRecommendedRenderTargetSize(std::uint32_t* width, std::uint32_t* height) = 0;
#if VR_STRUCT_RETURN_SLOTS
    virtual HmdMatrix44_t* GetProjectionMatrix(HmdMatrix44_t* result, EVREye eye, float nearZ,
                                               float farZ) = 0;
#else
    virtual HmdMatrix44_t GetProjectionMatrix(EVREye eye, float nearZ, float farZ) = 0;
#endif
    virtual void GetProjectionRaw(EVREye eye, float* left, float* right, float* top,
                                  float* bottom) = 0;
    virtual bool ComputeDistortion(EVREye eye, float u, float v, void* coordinates) = 0;
#if VR_STRUCT_RETURN_SLOTS
    virtual HmdMatrix34_t* GetEyeToHeadTransform(HmdMatrix34_t* result, EVREye eye) = 0;
#else
    virtual HmdMatrix34_t GetEyeToHeadTransform(EVREye eye) = 0;
#endif
    virtual void unusedSlot5() {}
    virtual void unusedSlot6() {}
    virtual void unusedSlot7() {}
    // For textureType DirectX12: the LUID of the adapter the headset is
    // connected to (low part in the lower four bytes); 0 when the runtime
    // cannot tell. The instance is for Vulkan only.
    virtual void GetOutputDevice(std::uint64_t* device, ETextureType textureType,
                                 VkInstance_T* instance) = 0;
    virtual void unusedSlot9() {}
    virtual void unusedSlot10() {}
    virtual void unusedSlot11() {}
    virtual void unusedSlot12() {}
    virtual void unusedSlot13() {}
    virtual void unusedSlot14() {}
    virtual void unusedSlot15() {}
    virtual void unusedSlot16() {}
    virtual void unusedSlot17() {}
    virtual void unusedSlot18() {}
    virtual void unusedSlot19() {}
    virtual void unusedSlot20() {}
    virtual void unusedSlot21() {}
    virtual void unusedSlot22() {}
    virtual void unusedSlot23() {}
    virtual void unusedSlot24() {}
    virtual void unusedSlot25() {}
    virtual void unusedSlot26() {}
    virtual void unusedSlot27() {}
    virtual void unusedSlot28() {}
    // Takes the oldest pending event; false when there is none. eventSize is
    // the caller's sizeof(VREvent_t).
    virtual bool PollNextEvent(VREvent_t* event, std::uint32_t eventSize) = 0;
    virtual void unusedSlot30() {}
    virtual void unusedSlot31() {}
    virtual void unusedSlot32() {}
    virtual void unusedSlot33() {}
    virtual void unusedSlot34() {}
    virtual void unusedSlot35() {}
    virtual void unusedSlot36() {}
    virtual void unusedSlot37() {}
    virtual void unusedSlot38() {}
    virtual void unusedSlot39() {}
    virtual void unusedSlot40() {}
    virtual void unusedSlot41() {}
    virtual void unusedSlot42() {}
    // Tells the runtime that the process is exiting after a Quit event, which
    // extends the time the runtime gives it before ending it.
    virtual void AcknowledgeQuit_Exiting() = 0;
};

// "IVRCompositor_028": only the first six of its slots are used.
class IVRCompositor {
public:
    virtual void SetTrackingSpace(ETrackingUniverseOrigin origin) = 0;
    virtual ETrackingUniverseOrigin GetTrackingSpace() = 0;
    virtual EVRCompositorError WaitGetPoses(TrackedDevicePose_t* renderPoses,
                                            std::uint32_t renderPoseCount,
                                            TrackedDevicePose_t* gamePoses,
                                            std::uint32_t gamePoseCount) = 0;
    virtual EVRCompositorError GetLastPoses(TrackedDevicePose_t* renderPoses,
                                            std::uint32_t renderPoseCount,
                                            TrackedDevicePose_t* gamePoses,
                                            std::uint32_t gamePoseCount) = 0;
    virtual EVRCompositorError GetLastPoseForTrackedDeviceIndex(std::uint32_t deviceIndex,
                                                                TrackedDevicePose_t* pose,
                                                                TrackedDevicePose_t* gamePose) = 0;
    virtual EVRCompositorError Submit(EVREye eye, const Texture_t* texture,
                                      const VRTextureBounds_t* bounds, EVRSubmitFlags flags) = 0;
};

inline HmdMatrix44_t projectionMatrix(IVRSystem& system, EVREye eye, float nearZ, float farZ) {
#if VR_STRUCT_RETURN_SLOTS
    HmdMatrix44_t result;
    system.GetProjectionMatrix(&result, eye, nearZ, farZ);
    return result;
#else
    return system.GetProjectionMatrix(eye, nearZ, farZ);
#endif
}

inline HmdMatrix34_t eyeToHeadTransform(IVRSystem& system, EVREye eye) {
#if VR_STRUCT_RETURN_SLOTS
    HmdMatrix34_t result;
    system.GetEyeToHeadTransform(&result, eye);
    return result;
#else
    return system.GetEyeToHeadTransform(eye);
#endif
}

// The client library's exports, all plain C functions.
using InitInternal2Fn = std::uint32_t (*)(EVRInitError* error, EVRApplicationType type,
                                          const char* startupInfo);
using ShutdownInternalFn = void (*)();
using IsInterfaceVersionValidFn = bool (*)(const char* version);
using GetGenericInterfaceFn = void* (*)(const char* version, EVRInitError* error);
using GetInitTokenFn = std::uint32_t (*)();
using GetErrorDescriptionFn = const char* (*)(EVRInitError error);

} // namespace vr
