// A stand-in VR runtime for machines without a headset: openvr_api.dll with
// the six entry points and the system and compositor interfaces the program
// uses. Set by environment variables:
//   HT_MOCK_VR_SIZE=320x360          recommended eye size
//   HT_MOCK_VR_EYE_OFFSET=0.032      eyes at -/+ this many metres on x
//   HT_MOCK_VR_HEAD_POSE=x,y,z       head translation, or 12 floats row-major
//   HT_MOCK_VR_INIT_ERROR=108        fail VR_InitInternal2 with this error
//   HT_MOCK_VR_INVALID_INTERFACES=IVRSystem_022,...   report these as invalid
//   HT_MOCK_VR_TOKEN_CHANGE_AFTER=N  change the init token after N pose waits
//   HT_MOCK_VR_NULL_COMPOSITOR=1     hand out no compositor
//   HT_MOCK_VR_OUTPUT=folder         log.txt (one line per call) and the last
//                                    submitted eye images, left.ppm and right.ppm;
//                                    each saved submission logs its centre pixel
// Submit refuses what a real compositor would (wrong texture type, no
// resource or queue, an eye other than 0 or 1) and reads accepted textures
// back through the queue in the texture record.
#include "tools/common/texture_readback.h"
#include "tools/common/unix_time.h"
#include "vr/openvr_abi.h"

#include <windows.h>

#include <d3d12.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string environment(const char* name, const char* fallback = "") {
    char value[1024];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
    return length > 0 && length < sizeof(value) ? std::string(value, length) : fallback;
}

std::vector<float> floatList(const std::string& text) {
    std::vector<float> values;
    const char* cursor = text.c_str();
    while (*cursor != '\0') {
        char* end = nullptr;
        values.push_back(std::strtof(cursor, &end));
        if (end == cursor) {
            return {};
        }
        cursor = *end == ',' ? end + 1 : end;
    }
    return values;
}

// One line per call, with a timestamp, appended to the output folder's log.
void logCall(const std::string& text) {
    static const std::string folder = environment("HT_MOCK_VR_OUTPUT");
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

vr::HmdMatrix34_t configuredHeadPose() {
    const std::vector<float> values = floatList(environment("HT_MOCK_VR_HEAD_POSE"));
    if (values.size() == 3) {
        return translation(values[0], values[1], values[2]);
    }
    vr::HmdMatrix34_t pose = translation(0, 0, 0);
    if (values.size() == 12) {
        for (int i = 0; i < 12; ++i) {
            pose.m[i / 4][i % 4] = values[static_cast<std::size_t>(i)];
        }
    }
    return pose;
}

struct Config {
    std::uint32_t width = 320;
    std::uint32_t height = 360;
    float eyeOffset = std::strtof(environment("HT_MOCK_VR_EYE_OFFSET", "0.032").c_str(), nullptr);
    vr::HmdMatrix34_t headPose = configuredHeadPose();
    int initError = std::atoi(environment("HT_MOCK_VR_INIT_ERROR", "0").c_str());
    std::string invalidInterfaces = "," + environment("HT_MOCK_VR_INVALID_INTERFACES") + ",";
    long tokenChangeAfter = std::atol(environment("HT_MOCK_VR_TOKEN_CHANGE_AFTER", "0").c_str());
    bool nullCompositor = environment("HT_MOCK_VR_NULL_COMPOSITOR") == "1";
    std::string output = environment("HT_MOCK_VR_OUTPUT");

    Config() {
        unsigned width = 0, height = 0;
        if (std::sscanf(environment("HT_MOCK_VR_SIZE", "320x360").c_str(), "%ux%u", &width,
                        &height) == 2 &&
            width > 0 && height > 0) {
            this->width = width;
            this->height = height;
        }
    }
};

const Config& config() {
    static const Config instance;
    return instance;
}

std::uint32_t initToken = 1;
long poseWaits = 0;

// Reads submitted textures back and writes them as binary PPM files,
// replacing the last one atomically so readers never see half an image.
class EyeImageWriter {
public:
    // The centre pixel of the last saved image, as "r,g,b".
    std::string centre;

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
        const std::uint8_t* middle = image.at(image.width / 2, image.height / 2);
        centre = std::to_string(middle[0]) + "," + std::to_string(middle[1]) + "," +
                 std::to_string(middle[2]);
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
    const float aspect = static_cast<float>(config().width) / static_cast<float>(config().height);
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
        *width = config().width;
        *height = config().height;
        logCall("GetRecommendedRenderTargetSize");
    }
    // NOTE: built with GCC, the explicit result pointer gives the MSVC calling
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
        return translation(side * config().eyeOffset, 0.0f, 0.0f);
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
        logCall("WaitGetPoses count=" + std::to_string(count) +
                " gameCount=" + std::to_string(gameCount) + " frame=" + std::to_string(poseWaits));
        for (std::uint32_t i = 0; i < count; ++i) {
            poses[i] = vr::TrackedDevicePose_t{};
            poses[i].eTrackingResult = vr::TrackingResult_Uninitialized;
        }
        if (count > 0) {
            poses[0].mDeviceToAbsoluteTracking = config().headPose;
            poses[0].eTrackingResult = vr::TrackingResult_Running_OK;
            poses[0].bPoseIsValid = true;
            poses[0].bDeviceIsConnected = true;
        }
        if (config().tokenChangeAfter > 0 && poseWaits == config().tokenChangeAfter) {
            ++initToken;
            logCall("token changed to " + std::to_string(initToken));
        }
        return vr::VRCompositorError_None;
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
        std::string line = "Submit eye=" + std::to_string(eye);
        const vr::EVRCompositorError result = check(eye, texture);
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
        if (data != nullptr && !config().output.empty()) {
            const std::string path =
                config().output + (eye == vr::Eye_Left ? "\\left.ppm" : "\\right.ppm");
            line += reader.save(data->m_pResource, data->m_pCommandQueue, path)
                        ? " saved centre=" + reader.centre
                        : " unreadable";
        }
        logCall(line);
        return result;
    }

private:
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

bool reportedInvalid(const char* version) {
    return config().invalidInterfaces.find("," + std::string(version) + ",") != std::string::npos;
}

} // namespace

extern "C" {

__declspec(dllexport) std::uint32_t
    VR_InitInternal2(vr::EVRInitError* error, vr::EVRApplicationType type, const char*) {
    logCall("VR_InitInternal2 type=" + std::to_string(type));
    *error = static_cast<vr::EVRInitError>(config().initError);
    return config().initError == 0 ? initToken : 0;
}

__declspec(dllexport) void VR_ShutdownInternal() {
    logCall("VR_ShutdownInternal");
}

__declspec(dllexport) bool VR_IsInterfaceVersionValid(const char* version) {
    const bool known = std::string(version) == vr::IVRSystem_Version ||
                       std::string(version) == vr::IVRCompositor_Version;
    const bool valid = known && !reportedInvalid(version);
    logCall(std::string("VR_IsInterfaceVersionValid ") + version + " -> " + (valid ? "1" : "0"));
    return valid;
}

__declspec(dllexport) void* VR_GetGenericInterface(const char* version, vr::EVRInitError* error) {
    logCall(std::string("VR_GetGenericInterface ") + version);
    void* found = nullptr;
    if (std::string(version) == vr::IVRSystem_Version && !reportedInvalid(version)) {
        found = &mockSystem;
    } else if (std::string(version) == vr::IVRCompositor_Version && !reportedInvalid(version) &&
               !config().nullCompositor) {
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
