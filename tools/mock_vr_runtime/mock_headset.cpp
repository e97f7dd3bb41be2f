// The stand-in headset behind the mock runtime's client core: the system and
// compositor objects, which behave as mock_settings.h says, from HT_MOCK_VR_*
// variables: eye size and offset, head pose and rotation, the headset's
// adapter, a display clock that paces the pose wait, tracking that starts late
// or is lost, pose waits without focus, refused submissions, and a runtime
// that asks the application to quit and ends it when it does not.
// Submit refuses what a real compositor would (wrong texture type, no
// resource or queue, an eye other than 0 or 1), reads accepted textures back
// through the queue in the texture record, and holds the last texture of each
// eye and its queue until the session is shut down, as a runtime does. With HT_MOCK_VR_OUTPUT set,
// every call is logged with a timestamp, and every accepted image is saved
// (left.ppm, right.ppm) and described in the log: centre pixel, number of
// colours, hash of its pixels.
#include "tools/mock_vr_runtime/mock_headset.h"

#include "renderer/d3d_helpers.h"
#include "tools/common/texture_readback.h"
#include "tools/common/unix_time.h"
#include "tools/mock_vr_runtime/mock_settings.h"

#include <windows.h>

#include <d3d12.h>
#include <dxgi1_4.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <deque>
#include <memory>
#include <unordered_set>
#include <utility>

// Windows 10 1803 and later; older MinGW headers do not declare it.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

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

namespace {

long poseWaits = 0;
long submissions = 0;

// Starts the client library once more, as another part of the process would:
// the library then hands out a new init token, and every interface fetched
// under the old one must be fetched again.
void restartClientLibrary() {
    const auto initInternal2 = reinterpret_cast<vr::InitInternal2Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("openvr_api.dll"), "VR_InitInternal2")));
    if (initInternal2 == nullptr) {
        logCall("restart: the client library is not loaded");
        return;
    }
    vr::EVRInitError error = vr::VRInitError_None;
    const std::uint32_t token = initInternal2(&error, vr::VRApplication_Scene, nullptr);
    logCall("restart: token " + std::to_string(token) + " error " + std::to_string(error));
}

// A runtime that asks the application to quit gives it a while to exit and
// then ends the process, as a real one does, whether or not the application
// polled its events; an acknowledgement extends the time once.
class QuitTimer {
public:
    void start() {
        deadline = GetTickCount64() + mockSettings().quitTimeoutMs;
        stopRequest = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread = CreateThread(nullptr, 0, &QuitTimer::run, this, 0, nullptr);
    }

    void extend() { deadline = GetTickCount64() + mockSettings().quitTimeoutMs; }

    void stop() {
        if (thread == nullptr) {
            return;
        }
        SetEvent(stopRequest);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        CloseHandle(stopRequest);
        thread = nullptr;
        stopRequest = nullptr;
    }

private:
    static DWORD WINAPI run(void* self) {
        auto& timer = *static_cast<QuitTimer*>(self);
        for (;;) {
            const unsigned long long now = GetTickCount64();
            if (now >= timer.deadline) {
                logCall("the application did not exit in time after Quit: ending it");
                TerminateProcess(GetCurrentProcess(), killedExitCode);
            }
            if (WaitForSingleObject(timer.stopRequest, static_cast<DWORD>(timer.deadline - now)) ==
                WAIT_OBJECT_0) {
                return 0;
            }
        }
    }

    static constexpr UINT killedExitCode = 0xDEAD;
    std::atomic<unsigned long long> deadline{0};
    HANDLE stopRequest = nullptr;
    HANDLE thread = nullptr;
};

QuitTimer quitTimer;
std::deque<vr::VREvent_t> pendingEvents;

// Once only: after the configured pose wait, or at the first pose wait (or
// event poll, see PollNextEvent) that finds the configured file (a test makes
// it when the moment has come).
bool quitAsked(const MockSettings& settings) {
    static bool asked = false;
    if (asked) {
        return false;
    }
    asked = (settings.quitAfter > 0 && poseWaits == settings.quitAfter) ||
            (!settings.quitWhen.empty() &&
             GetFileAttributesA(settings.quitWhen.c_str()) != INVALID_FILE_ATTRIBUTES);
    return asked;
}

void queueQuit() {
    vr::VREvent_t quit{};
    quit.eventType = vr::VREvent_Quit;
    quit.data.process.pid = GetCurrentProcessId();
    pendingEvents.push_back(quit);
    logCall("Quit queued");
    quitTimer.start();
}

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
        ID3D12Device* device = nullptr;
        if (FAILED(texture->GetDevice(IID_PPV_ARGS(&device)))) {
            return false;
        }
        // A device made again after a loss gets a reader of its own.
        if (!reader || device != readerDevice) {
            reader = std::make_unique<TextureReadback>(device);
            readerDevice = device;
        }
        device->Release();
        RgbaImage image;
        if (!reader->read(texture, D3D12_RESOURCE_STATE_PIXEL_SHADER_RESOURCE, queue, image)) {
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

public:
    // Releases the reader's Direct3D objects while the device is still alive.
    void close() {
        reader.reset();
        readerDevice = nullptr;
    }

private:
    std::unique_ptr<TextureReadback> reader;
    ID3D12Device* readerDevice = nullptr; // held by the reader
};

// What Submit was handed, held as a runtime holds it (the interface's rule
// for Direct3D 12 textures: the session is shut down before they are
// destroyed): the last texture of each eye and its queue, and with them their
// device, until the session is shut down.
class HeldSubmissions {
public:
    void hold(vr::EVREye eye, ID3D12Resource* texture, ID3D12CommandQueue* queue) {
        texture->AddRef();
        queue->AddRef();
        release(eye);
        textures[eye] = texture;
        queues[eye] = queue;
    }

    void letGo() {
        if (textures[0] == nullptr && textures[1] == nullptr) {
            return;
        }
        release(vr::Eye_Left);
        release(vr::Eye_Right);
        logCall("Letting go of the submitted eye textures and their queue");
    }

private:
    void release(vr::EVREye eye) {
        releaseAndNull(textures[eye]);
        releaseAndNull(queues[eye]);
    }

    ID3D12Resource* textures[2] = {nullptr, nullptr};
    ID3D12CommandQueue* queues[2] = {nullptr, nullptr};
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

// The LUID of the machine's first adapter, where the headset is unless the
// settings say otherwise; 0 when there is none.
std::uint64_t firstAdapterLuid() {
    IDXGIFactory1* factory = nullptr;
    IDXGIAdapter1* adapter = nullptr;
    DXGI_ADAPTER_DESC1 desc{};
    const bool read = SUCCEEDED(CreateDXGIFactory1(IID_PPV_ARGS(&factory))) &&
                      SUCCEEDED(factory->EnumAdapters1(0, &adapter)) &&
                      SUCCEEDED(adapter->GetDesc1(&desc));
    if (adapter != nullptr) {
        adapter->Release();
    }
    if (factory != nullptr) {
        factory->Release();
    }
    return read ? luidValue(desc.AdapterLuid) : 0;
}

// The one asked for, or else the first adapter; the latter is looked up at
// each call, as a runtime would find it again after a driver restart, and
// only then: a DXGI factory takes Wine a tenth of a second or more.
std::uint64_t headsetAdapterLuid() {
    const std::optional<std::uint64_t> asked = mockSettings().adapterLuid;
    return asked ? *asked : firstAdapterLuid();
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
    void GetOutputDevice(std::uint64_t* device, vr::ETextureType textureType,
                         vr::VkInstance_T*) override {
        *device = textureType == vr::TextureType_DirectX12 ? headsetAdapterLuid() : 0;
        char luid[24];
        std::snprintf(luid, sizeof(luid), "0x%llx", static_cast<unsigned long long>(*device));
        logCall("GetOutputDevice type=" + std::to_string(textureType) + " -> " + luid);
    }
    bool PollNextEvent(vr::VREvent_t* event, std::uint32_t eventSize) override {
        if (eventSize != sizeof(vr::VREvent_t)) {
            logCall("PollNextEvent refused: event size " + std::to_string(eventSize));
            return false;
        }
        // Before the session's first pose wait (an application with no frames
        // going: one that builds a lost device again, say) a Quit is asked
        // for at the event poll that finds the file.
        if (poseWaits == 0 && quitAsked(mockSettings())) {
            queueQuit();
        }
        if (pendingEvents.empty()) {
            return false;
        }
        *event = pendingEvents.front();
        pendingEvents.pop_front();
        logCall("PollNextEvent type=" + std::to_string(event->eventType));
        return true;
    }
    void AcknowledgeQuit_Exiting() override {
        logCall("AcknowledgeQuit_Exiting");
        quitTimer.extend();
    }

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
            restartClientLibrary();
        }
        if (quitAsked(settings)) {
            queueQuit();
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
            result = mockSettings().submissionError;
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
            char resource[20];
            std::snprintf(resource, sizeof(resource), "%llx",
                          static_cast<unsigned long long>(
                              reinterpret_cast<std::uintptr_t>(data->m_pResource)));
            line += " nodeMask=" + std::to_string(data->m_nNodeMask) +
                    " size=" + std::to_string(desc.Width) + "x" + std::to_string(desc.Height) +
                    " resource=" + resource;
        }
        line += std::string(" bounds=") + (bounds == nullptr ? "none" : "given") +
                " flags=" + std::to_string(flags) + " result=" + std::to_string(result);
        if (data != nullptr) {
            held.hold(eye, data->m_pResource, data->m_pCommandQueue);
        }
        if (data != nullptr && !mockSettings().output.empty() && mockSettings().saveImages) {
            const std::string path =
                mockSettings().output + (eye == vr::Eye_Left ? "\\left.ppm" : "\\right.ppm");
            line += reader.save(data->m_pResource, data->m_pCommandQueue, path)
                        ? " saved " + reader.description
                        : " unreadable";
        }
        logCall(line);
        return result;
    }

    void close() {
        reader.close();
        held.letGo();
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
        return sameDevice(data->m_pResource, data->m_pCommandQueue)
                   ? vr::VRCompositorError_None
                   : vr::VRCompositorError_TextureIsOnWrongDevice;
    }

    // The compositor copies the texture on the queue it is given: both must
    // belong to one device.
    static bool sameDevice(ID3D12Resource* texture, ID3D12CommandQueue* queue) {
        ID3D12Device* textureDevice = nullptr;
        ID3D12Device* queueDevice = nullptr;
        const bool read = SUCCEEDED(texture->GetDevice(IID_PPV_ARGS(&textureDevice))) &&
                          SUCCEEDED(queue->GetDevice(IID_PPV_ARGS(&queueDevice)));
        const bool same = read && textureDevice == queueDevice;
        if (textureDevice != nullptr) {
            textureDevice->Release();
        }
        if (queueDevice != nullptr) {
            queueDevice->Release();
        }
        return same;
    }

    EyeImageWriter reader;
    HeldSubmissions held;
};

MockSystem mockSystem;
MockCompositor mockCompositor;

// "IVRCompositor_027" as a runtime of that version serves it: the six slots
// it shares with "IVRCompositor_028" answer as the mock's compositor does,
// and a call through any slot after them (which such a runtime's object does
// not have) is logged and ends the process, so that a test fails loudly.
// Slot numbers are 8 bytes apart, as the interface's binary layout has them.
constexpr std::size_t compositor027Slots = 52; // at least as many as 028 has

void setTrackingSpace027(void*, vr::ETrackingUniverseOrigin origin) {
    mockCompositor.SetTrackingSpace(origin);
}
vr::ETrackingUniverseOrigin getTrackingSpace027(void*) {
    return mockCompositor.GetTrackingSpace();
}
vr::EVRCompositorError waitGetPoses027(void*, vr::TrackedDevicePose_t* poses, std::uint32_t count,
                                       vr::TrackedDevicePose_t* gamePoses,
                                       std::uint32_t gameCount) {
    return mockCompositor.WaitGetPoses(poses, count, gamePoses, gameCount);
}
vr::EVRCompositorError getLastPoses027(void*, vr::TrackedDevicePose_t* poses, std::uint32_t count,
                                       vr::TrackedDevicePose_t* gamePoses,
                                       std::uint32_t gameCount) {
    return mockCompositor.GetLastPoses(poses, count, gamePoses, gameCount);
}
vr::EVRCompositorError getLastPoseForTrackedDeviceIndex027(void*, std::uint32_t index,
                                                           vr::TrackedDevicePose_t* pose,
                                                           vr::TrackedDevicePose_t* gamePose) {
    return mockCompositor.GetLastPoseForTrackedDeviceIndex(index, pose, gamePose);
}
vr::EVRCompositorError submit027(void*, vr::EVREye eye, const vr::Texture_t* texture,
                                 const vr::VRTextureBounds_t* bounds, vr::EVRSubmitFlags flags) {
    return mockCompositor.Submit(eye, texture, bounds, flags);
}

template <std::size_t slot> void callPastTheSixSlotsOf027() {
    logCall("IVRCompositor_027 has no slot " + std::to_string(slot) +
            ": the application called past its six slots");
    TerminateProcess(GetCurrentProcess(), 0xBAD);
}

template <std::size_t... slot>
std::array<void*, compositor027Slots> slotsOf027(std::index_sequence<slot...>) {
    return {reinterpret_cast<void*>(&setTrackingSpace027),
            reinterpret_cast<void*>(&getTrackingSpace027),
            reinterpret_cast<void*>(&waitGetPoses027),
            reinterpret_cast<void*>(&getLastPoses027),
            reinterpret_cast<void*>(&getLastPoseForTrackedDeviceIndex027),
            reinterpret_cast<void*>(&submit027),
            reinterpret_cast<void*>(&callPastTheSixSlotsOf027<slot + 6>)...};
}

// An object is a pointer to its table of slots.
const std::array<void*, compositor027Slots> compositor027Table =
    slotsOf027(std::make_index_sequence<compositor027Slots - 6>());
const void* const compositor027Object = compositor027Table.data();

} // namespace

// Pose waits and submissions are counted per session.
void openHeadset() {
    poseWaits = 0;
    submissions = 0;
    displayClock.start();
}

void closeHeadset() {
    quitTimer.stop();
    mockCompositor.close();
    pendingEvents.clear();
}

vr::IVRSystem* headsetSystem() {
    return &mockSystem;
}

vr::IVRCompositor* headsetCompositor() {
    return &mockCompositor;
}

void* headsetCompositor027() {
    return const_cast<void**>(&compositor027Object);
}
