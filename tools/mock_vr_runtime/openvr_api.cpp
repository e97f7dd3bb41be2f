// A stand-in VR runtime for machines without a headset: openvr_api.dll with
// the six entry points and the system and compositor interfaces the program
// uses. It behaves as mock_settings.h says, from HT_MOCK_VR_* variables: eye
// size and offset, head pose and rotation, start-up failures, a display clock
// that paces the pose wait, tracking that starts late or is lost, pose waits
// without focus and refused submissions.
// Submit refuses what a real compositor would (wrong texture type, no
// resource or queue, an eye other than 0 or 1) and reads accepted textures
// back through the queue in the texture record. With HT_MOCK_VR_OUTPUT set,
// every call is logged with a timestamp, and every accepted image is saved
// (left.ppm, right.ppm) and described in the log: centre pixel, number of
// colours, hash of its pixels.
#include "tools/common/texture_readback.h"
#include "tools/common/unix_time.h"
#include "tools/mock_vr_runtime/mock_settings.h"
#include "vr/openvr_abi.h"

#include <windows.h>

#include <d3d12.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_set>

// Windows 10 1803 and later; older MinGW headers do not declare it.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

// One line per call, with a timestamp, appended to the output folder's log.
void logCall(const std::string& text) {
    static const std::string folder = mockSettings().output;
    if (folder.empty()) {
        return;
    }
    static HANDLE file = CreateFileA((folder + "\\log.txt").c_str(), FILE_APPEND_DATA,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    const std::string line = std::to_string(unixTimeNanoseconds()) + " " + text + "\r\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

vr::HmdMatrix34_t translation(float x, float y, float z) {
    return {{{1, 0, 0, x}, {0, 1, 0, y}, {0, 0, 1, z}}};
}

std::uint32_t initToken = 1;
long poseWaits = 0;
long submissions = 0;

// The headset display's refresh clock, started when the runtime is opened. The
// pose wait blocks until the next refresh, as a real compositor's does.
class DisplayClock {
public:
    void start() { QueryPerformanceCounter(&origin); }

    // Blocks until the next refresh after now; the number of the refresh it
    // returned at (the first refresh after start is 1).
    long long waitForNextRefresh(double hz) {
        const long long target = refreshesSinceStart(hz) + 1;
        sleepUntil(origin.QuadPart + static_cast<long long>(target * ticksPerSecond() / hz));
        return std::max(target, refreshesSinceStart(hz));
    }

private:
    static double ticksPerSecond() {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart);
    }

    long long refreshesSinceStart(double hz) const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<long long>((now.QuadPart - origin.QuadPart) * hz / ticksPerSecond());
    }

    // A high-resolution waitable timer where the system offers one, as
    // a compositor waits for the display without burning a core.
    void sleepUntil(long long deadline) {
        if (timer == nullptr) {
            timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                           TIMER_ALL_ACCESS);
        }
        if (timer == nullptr) {
            timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
        }
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        if (deadline <= now.QuadPart || timer == nullptr) {
            return;
        }
        LARGE_INTEGER due; // negative: relative, in 100 ns units
        due.QuadPart = -static_cast<long long>((deadline - now.QuadPart) * 1e7 / ticksPerSecond());
        if (SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) != FALSE) {
            WaitForSingleObject(timer, INFINITE);
        }
    }

    LARGE_INTEGER origin{};
    HANDLE timer = nullptr;
};

DisplayClock displayClock;

// What the log says of an image: its centre pixel, how many colours it holds
// and a hash of its pixels, so tests can tell a scene from a blank image and
// compare images across runs.
std::string describeImage(const RgbaImage& image) {
    const std::uint8_t* middle = image.at(image.width / 2, image.height / 2);
    std::unordered_set<std::uint32_t> colours;
    std::uint32_t hash = 2166136261u; // FNV-1a over the RGB bytes
    for (std::size_t pixel = 0; pixel < image.pixels.size(); pixel += 4) {
        const std::uint8_t* rgb = &image.pixels[pixel];
        colours.insert(static_cast<std::uint32_t>(rgb[0]) << 16 | rgb[1] << 8 | rgb[2]);
        for (int channel = 0; channel < 3; ++channel) {
            hash = (hash ^ rgb[channel]) * 16777619u;
        }
    }
    char hex[9];
    std::snprintf(hex, sizeof(hex), "%08x", hash);
    return "centre=" + std::to_string(middle[0]) + "," + std::to_string(middle[1]) + "," +
           std::to_string(middle[2]) + " colours=" + std::to_string(colours.size()) +
           " hash=" + hex;
}

// Reads submitted textures back and writes them as binary PPM files,
// replacing the last one atomically so readers never see half an image.
class EyeImageWriter {
public:
    // What describeImage says of the last saved image.
    std::string description;

    bool save(ID3D12Resource* texture, ID3D12CommandQueue* queue, const std::string& path) {
        if (!reader) {
            ID3D12Device* device = nullptr;
            if (FAILED(texture->GetDevice(IID_PPV_ARGS(&device)))) {
                return false;
            }
            reader = std::make_unique<TextureReadback>(device);
            device->Release();
        }
        RgbaImage image;
        if (!reader->read(texture, D3D12_RESOURCE_STATE_COMMON, queue, image)) {
            return false;
        }
        description = describeImage(image);
        return writePpm(image, path);
    }

private:
    static bool writePpm(const RgbaImage& image, const std::string& path) {
        std::string bytes =
            "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
        for (std::size_t pixel = 0; pixel < image.pixels.size(); pixel += 4) {
            bytes.append(reinterpret_cast<const char*>(&image.pixels[pixel]), 3);
        }
        const std::string partial = path + ".partial";
        FILE* file = std::fopen(partial.c_str(), "wb");
        if (file == nullptr) {
            return false;
        }
        const bool complete = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        std::fclose(file);
        return complete &&
               MoveFileExA(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    }

    std::unique_ptr<TextureReadback> reader;
};

// A right-handed projection looking down -z with depth 0 ... 1: 90 degrees
// across, square pixels.
vr::HmdMatrix44_t eyeProjection(float nearZ, float farZ) {
    const float aspect =
        static_cast<float>(mockSettings().width) / static_cast<float>(mockSettings().height);
    vr::HmdMatrix44_t m{};
    m.m[0][0] = 1.0f;
    m.m[1][1] = aspect;
    m.m[2][2] = farZ / (nearZ - farZ);
    m.m[2][3] = nearZ * farZ / (nearZ - farZ);
    m.m[3][2] = -1.0f;
    return m;
}

class MockSystem : public vr::IVRSystem {
public:
    void GetRecommendedRenderTargetSize(std::uint32_t* width, std::uint32_t* height) override {
        *width = mockSettings().width;
        *height = mockSettings().height;
        logCall("GetRecommendedRenderTargetSize");
    }
    // Built with GCC, the explicit result pointer gives the MSVC calling
    // layout that a real runtime has (see the interface header).
#if VR_STRUCT_RETURN_SLOTS
    vr::HmdMatrix44_t* GetProjectionMatrix(vr::HmdMatrix44_t* result, vr::EVREye eye, float nearZ,
                                           float farZ) override {
        *result = projection(eye, nearZ, farZ);
        return result;
    }
#else
    vr::HmdMatrix44_t GetProjectionMatrix(vr::EVREye eye, float nearZ, float farZ) override {
        return projection(eye, nearZ, farZ);
    }
#endif
    void GetProjectionRaw(vr::EVREye, float* left, float* right, float* top,
                          float* bottom) override {
        *left = -1.0f;
        *right = 1.0f;
        *top = -1.0f;
        *bottom = 1.0f;
    }
    bool ComputeDistortion(vr::EVREye, float, float, void*) override {
        return false;
    }
#if VR_STRUCT_RETURN_SLOTS
    vr::HmdMatrix34_t* GetEyeToHeadTransform(vr::HmdMatrix34_t* result, vr::EVREye eye) override {
        *result = eyeToHead(eye);
        return result;
    }
#else
    vr::HmdMatrix34_t GetEyeToHeadTransform(vr::EVREye eye) override {
        return eyeToHead(eye);
    }
#endif

private:
    static vr::HmdMatrix44_t projection(vr::EVREye eye, float nearZ, float farZ) {
        logCall("GetProjectionMatrix eye=" + std::to_string(eye) +
                " near=" + std::to_string(nearZ) + " far=" + std::to_string(farZ));
        return eyeProjection(nearZ, farZ);
    }

    static vr::HmdMatrix34_t eyeToHead(vr::EVREye eye) {
        logCall("GetEyeToHeadTransform eye=" + std::to_string(eye));
        const float side = eye == vr::Eye_Left ? -1.0f : 1.0f;
        return translation(side * mockSettings().eyeOffset, 0.0f, 0.0f);
    }
};

class MockCompositor : public vr::IVRCompositor {
public:
    void SetTrackingSpace(vr::ETrackingUniverseOrigin) override {}
    vr::ETrackingUniverseOrigin GetTrackingSpace() override { return {}; }

    vr::EVRCompositorError WaitGetPoses(vr::TrackedDevicePose_t* poses, std::uint32_t count,
                                        vr::TrackedDevicePose_t*,
                                        std::uint32_t gameCount) override {
        ++poseWaits;
        const MockSettings& settings = mockSettings();
        std::string line = "WaitGetPoses count=" + std::to_string(count) +
                           " gameCount=" + std::to_string(gameCount) +
                           " frame=" + std::to_string(poseWaits);
        if (settings.refreshHz > 0) {
            line +=
                " refresh=" + std::to_string(displayClock.waitForNextRefresh(settings.refreshHz));
        }
        vr::EVRCompositorError result = vr::VRCompositorError_None;
        if (settings.poseWaitsWithoutFocus.contains(poseWaits)) {
            result = vr::VRCompositorError_DoNotHaveFocus; // the arrays stay untouched
        } else {
            line += " pose=" + fillPoses(poses, count);
        }
        logCall(line + " result=" + std::to_string(result));
        if (settings.tokenChangeAfter > 0 && poseWaits == settings.tokenChangeAfter) {
            ++initToken;
            logCall("token changed to " + std::to_string(initToken));
        }
        return result;
    }
    vr::EVRCompositorError GetLastPoses(vr::TrackedDevicePose_t*, std::uint32_t,
                                        vr::TrackedDevicePose_t*, std::uint32_t) override {
        return vr::VRCompositorError_RequestFailed;
    }
    vr::EVRCompositorError GetLastPoseForTrackedDeviceIndex(std::uint32_t, vr::TrackedDevicePose_t*,
                                                            vr::TrackedDevicePose_t*) override {
        return vr::VRCompositorError_RequestFailed;
    }

    vr::EVRCompositorError Submit(vr::EVREye eye, const vr::Texture_t* texture,
                                  const vr::VRTextureBounds_t* bounds,
                                  vr::EVRSubmitFlags flags) override {
        ++submissions;
        std::string line = "Submit eye=" + std::to_string(eye);
        vr::EVRCompositorError result = check(eye, texture);
        if (result == vr::VRCompositorError_None &&
            mockSettings().failedSubmissions.contains(submissions)) {
            result = vr::VRCompositorError_RequestFailed;
        }
        if (texture != nullptr) {
            line += " type=" + std::to_string(texture->eType) +
                    " colorSpace=" + std::to_string(texture->eColorSpace);
        }
        const auto* data = result == vr::VRCompositorError_None
                               ? static_cast<const vr::D3D12TextureData_t*>(texture->handle)
                               : nullptr;
        if (data != nullptr) {
            const D3D12_RESOURCE_DESC desc = data->m_pResource->GetDesc();
            line += " nodeMask=" + std::to_string(data->m_nNodeMask) +
                    " size=" + std::to_string(desc.Width) + "x" + std::to_string(desc.Height);
        }
        line += std::string(" bounds=") + (bounds == nullptr ? "none" : "given") +
                " flags=" + std::to_string(flags) + " result=" + std::to_string(result);
        if (data != nullptr && !mockSettings().output.empty()) {
            const std::string path =
                mockSettings().output + (eye == vr::Eye_Left ? "\\left.ppm" : "\\right.ppm");
            line += reader.save(data->m_pResource, data->m_pCommandQueue, path)
                        ? " saved " + reader.description
                        : " unreadable";
        }
        logCall(line);
        return result;
    }

private:
    // Only the head-mounted display is connected. Its pose is the configured
    // one while tracked; before tracking starts it is all zero, and while
    // tracking is lost it is stale and wrong (the head turned round), both
    // marked not valid. Returns which of the three it was.
    static std::string fillPoses(vr::TrackedDevicePose_t* poses, std::uint32_t count) {
        for (std::uint32_t i = 0; i < count; ++i) {
            poses[i] = vr::TrackedDevicePose_t{};
            poses[i].eTrackingResult = vr::TrackingResult_Uninitialized;
        }
        if (count == 0) {
            return "none";
        }
        vr::TrackedDevicePose_t& hmd = poses[vr::k_unTrackedDeviceIndex_Hmd];
        hmd.bDeviceIsConnected = true;
        if (poseWaits <= mockSettings().untrackedPoseWaits) {
            return "untracked";
        }
        hmd.mDeviceToAbsoluteTracking = mockSettings().headPose;
        if (mockSettings().trackingLost.contains(poseWaits)) {
            for (int row = 0; row < 3; ++row) {
                hmd.mDeviceToAbsoluteTracking.m[row][0] *= -1.0f;
                hmd.mDeviceToAbsoluteTracking.m[row][2] *= -1.0f;
            }
            hmd.eTrackingResult = vr::TrackingResult_Running_OutOfRange;
            return "lost";
        }
        hmd.eTrackingResult = vr::TrackingResult_Running_OK;
        hmd.bPoseIsValid = true;
        return "valid";
    }

    static vr::EVRCompositorError check(vr::EVREye eye, const vr::Texture_t* texture) {
        if (eye != vr::Eye_Left && eye != vr::Eye_Right) {
            return vr::VRCompositorError_RequestFailed;
        }
        if (texture == nullptr || texture->eType != vr::TextureType_DirectX12 ||
            texture->handle == nullptr) {
            return vr::VRCompositorError_InvalidTexture;
        }
        const auto* data = static_cast<const vr::D3D12TextureData_t*>(texture->handle);
        if (data->m_pResource == nullptr || data->m_pCommandQueue == nullptr) {
            return vr::VRCompositorError_InvalidTexture;
        }
        return vr::VRCompositorError_None;
    }

    EyeImageWriter reader;
};

MockSystem mockSystem;
MockCompositor mockCompositor;

} // namespace

extern "C" {

__declspec(dllexport) std::uint32_t
    VR_InitInternal2(vr::EVRInitError* error, vr::EVRApplicationType type, const char*) {
    logCall("VR_InitInternal2 type=" + std::to_string(type));
    displayClock.start();
    *error = static_cast<vr::EVRInitError>(mockSettings().initError);
    return mockSettings().initError == 0 ? initToken : 0;
}

__declspec(dllexport) void VR_ShutdownInternal() {
    logCall("VR_ShutdownInternal");
}

__declspec(dllexport) bool VR_IsInterfaceVersionValid(const char* version) {
    const bool known = std::string(version) == vr::IVRSystem_Version ||
                       std::string(version) == vr::IVRCompositor_Version;
    const bool valid = known && !mockSettings().reportsInvalid(version);
    logCall(std::string("VR_IsInterfaceVersionValid ") + version + " -> " + (valid ? "1" : "0"));
    return valid;
}

__declspec(dllexport) void* VR_GetGenericInterface(const char* version, vr::EVRInitError* error) {
    logCall(std::string("VR_GetGenericInterface ") + version);
    void* found = nullptr;
    if (std::string(version) == vr::IVRSystem_Version && !mockSettings().reportsInvalid(version)) {
        found = &mockSystem;
    } else if (std::string(version) == vr::IVRCompositor_Version &&
               !mockSettings().reportsInvalid(version) && !mockSettings().nullCompositor) {
        found = &mockCompositor;
    }
    *error = found != nullptr ? vr::VRInitError_None : vr::VRInitError_Init_InterfaceNotFound;
    return found;
}

__declspec(dllexport) std::uint32_t VR_GetInitToken() {
    return initToken;
}

__declspec(dllexport) const char* VR_GetVRInitErrorAsEnglishDescription(vr::EVRInitError error) {
    switch (error) {
    case vr::VRInitError_None:
        return "No Error (0)";
    case vr::VRInitError_Init_InterfaceNotFound:
        return "Interface Not Found (105)";
    case vr::VRInitError_Init_HmdNotFound:
        return "Hmd Not Found (108)";
    case vr::VRInitError_Init_NoServerForBackgroundApp:
        return "No Server For Background App (121)";
    case vr::VRInitError_IPC_ConnectFailed:
        return "Connect to VR Server Failed (301)";
    default:
        return "Mock runtime error";
    }
}

} // extern "C"
