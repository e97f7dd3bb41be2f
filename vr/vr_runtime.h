#pragma once

#include "renderer/matrix.h"
#include "vr/openvr_abi.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

// The six entry points of the VR client library, loaded at run time.
struct VrEntryPoints {
    vr::InitInternal2Fn initInternal2 = nullptr;
    vr::ShutdownInternalFn shutdownInternal = nullptr;
    vr::IsInterfaceVersionValidFn isInterfaceVersionValid = nullptr;
    vr::GetGenericInterfaceFn getGenericInterface = nullptr;
    vr::GetInitTokenFn getInitToken = nullptr;
    vr::GetErrorDescriptionFn getErrorDescription = nullptr;
};

// The process-wide table of interface pointers, valid for one runtime
// connection: every accessor first checks the runtime's init token and clears
// the table when the connection changed, then fetches a missing interface.
class VrInterfaceCache {
public:
    static constexpr std::size_t slotCount = 20;
    static constexpr std::size_t systemSlot = 0;
    static constexpr std::size_t compositorSlot = 3;

    // Forgets every interface; the connection now has this token.
    void reset(std::uint32_t token);

    // The compositor version this runtime offers; the newest one until set.
    void useCompositorVersion(const char* version) { compositorVersion = version; }

    vr::IVRSystem* system(const VrEntryPoints& entry);
    vr::IVRCompositor* compositor(const VrEntryPoints& entry);

private:
    void* fetch(const VrEntryPoints& entry, std::size_t slot, const char* version);

    std::array<void*, slotCount> slots{};
    std::uint32_t initToken = 0;
    const char* compositorVersion = vr::IVRCompositor_Version;
};

struct VrStart {
    vr::IVRSystem* system = nullptr; // null unless error is VRInitError_None
    vr::EVRInitError error = vr::VRInitError_None;
    const char* compositorVersion = vr::IVRCompositor_Version; // the one the cache uses
};

// Opens the runtime as a scene application, as the client library's own
// start-up helper does: the system interface when the runtime offers it,
// otherwise the connection is closed again and the error says why. The
// compositor is the newest version the runtime offers of the two the program
// can use.
VrStart startVrRuntime(const VrEntryPoints& entry, VrInterfaceCache& cache);

// Says when a compositor call starts failing, when its error changes and when
// it succeeds again: one line each time, never a line a frame.
class RefusalWatch {
public:
    // calls: what is refused, in words ("eye images", "pose waits").
    explicit RefusalWatch(std::string calls) : calls(std::move(calls)) {}

    // The line to say for this result, or nothing.
    std::optional<std::string> observe(vr::EVRCompositorError result);

private:
    std::string calls;
    vr::EVRCompositorError last = vr::VRCompositorError_None;
};

// "DoNotHaveFocus (101)": a compositor error's name and number.
std::string compositorErrorText(vr::EVRCompositorError error);

// The head pose that the eye views are built from. A pose the runtime did not
// vouch for (a failed wait, tracking not valid, a matrix that cannot be
// inverted) leaves the last valid one in place; before the first valid pose
// the head sits at the origin of the tracking space.
class HeadPoseTracker {
public:
    // Takes the head-mounted display's record of this frame's pose wait.
    void update(vr::EVRCompositorError waitResult, const vr::TrackedDevicePose_t& hmd);
    const mat4& pose() const { return lastValid; }

private:
    mat4 lastValid = identity();
};

// An eye's view: the inverse of the eye's place in tracking space, which is
// the head pose applied to the eye-to-head transform.
mat4 eyeView(const vr::HmdMatrix34_t& eyeToHead, const mat4& headPose);

// The model for an eye pass: a turn by angleDegrees about the eye's X axis,
// applied after the view (on its left).
mat4 eyeModel(float angleDegrees, const mat4& view);

// Runs the two eye passes of a VR frame, left then right, each as
// renderEye(eye, angleDegrees).
// NOTE: the angle is read once per frame and both eyes use it. Read by each
// pass, an angle that arrives between the two passes would turn one eye and
// not the other for a frame: a stereo pair that shows two rotations.
template <typename EyePass>
void renderEyePair(const std::atomic<float>& angleDegrees, EyePass&& renderEye) {
    const float angle = angleDegrees.load();
    renderEye(0u, angle);
    renderEye(1u, angle);
}
