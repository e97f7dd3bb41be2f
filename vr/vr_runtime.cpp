#include "vr/vr_runtime.h"

namespace {
constexpr float degreesToRadians = 0.0174532924f; // float32 bits 0x3C8EFA35
} // namespace

void VrInterfaceCache::reset(std::uint32_t token) {
    slots.fill(nullptr);
    initToken = token;
}

void* VrInterfaceCache::fetch(const VrEntryPoints& entry, std::size_t slot, const char* version) {
    const std::uint32_t current = entry.getInitToken();
    if (initToken != current) {
        reset(current);
    }
    if (slots[slot] == nullptr) {
        vr::EVRInitError ignored = vr::VRInitError_None;
        slots[slot] = entry.getGenericInterface(version, &ignored);
    }
    return slots[slot];
}

vr::IVRSystem* VrInterfaceCache::system(const VrEntryPoints& entry) {
    return static_cast<vr::IVRSystem*>(fetch(entry, systemSlot, vr::IVRSystem_Version));
}

vr::IVRCompositor* VrInterfaceCache::compositor(const VrEntryPoints& entry) {
    return static_cast<vr::IVRCompositor*>(fetch(entry, compositorSlot, compositorVersion));
}

VrStart startVrRuntime(const VrEntryPoints& entry, VrInterfaceCache& cache) {
    VrStart start;
    const std::uint32_t token = entry.initInternal2(&start.error, vr::VRApplication_Scene, nullptr);
    cache.reset(token);
    if (start.error != vr::VRInitError_None) {
        return start;
    }
    if (entry.isInterfaceVersionValid(vr::IVRSystem_Version)) {
        start.system = cache.system(entry);
    }
    // NOTE: a runtime that accepts the version but hands out no interface is
    // treated like one that lacks it, rather than called through null.
    if (start.system == nullptr) {
        entry.shutdownInternal();
        start.error = vr::VRInitError_Init_InterfaceNotFound;
        return start;
    }
    // NOTE: a runtime that lacks "IVRCompositor_028" (one from before it, or
    // another runtime's face of the interface that lags behind) gets its
    // "IVRCompositor_027": the slots the program calls are the same in both.
    if (!entry.isInterfaceVersionValid(vr::IVRCompositor_Version) &&
        entry.isInterfaceVersionValid(vr::IVRCompositor_OlderVersion)) {
        start.compositorVersion = vr::IVRCompositor_OlderVersion;
    }
    cache.useCompositorVersion(start.compositorVersion);
    return start;
}

// NOTE: the compositor's refusals are said, though they never stop a frame:
// a dark headset is otherwise all a person sees, whether the runtime's
// dashboard has the focus (passing) or the eye images are on the wrong
// graphics adapter (a fault).
std::optional<std::string> RefusalWatch::observe(vr::EVRCompositorError result) {
    if (result == last) {
        return std::nullopt;
    }
    const vr::EVRCompositorError before = last;
    last = result;
    if (result == vr::VRCompositorError_None) {
        return "The VR compositor accepts " + calls + " again.";
    }
    return std::string("The VR compositor ") +
           (before == vr::VRCompositorError_None ? "refuses " : "now refuses ") + calls + ": " +
           compositorErrorText(result) + ".";
}

std::string compositorErrorText(vr::EVRCompositorError error) {
    static const std::pair<int, const char*> names[] = {
        {0, "None"},
        {1, "RequestFailed"},
        {100, "IncompatibleVersion"},
        {101, "DoNotHaveFocus"},
        {102, "InvalidTexture"},
        {103, "IsNotSceneApplication"},
        {104, "TextureIsOnWrongDevice"},
        {105, "TextureUsesUnsupportedFormat"},
        {106, "SharedTexturesNotSupported"},
        {107, "IndexOutOfRange"},
        {108, "AlreadySubmitted"},
        {109, "InvalidBounds"},
        {110, "AlreadySet"},
    };
    const int number = static_cast<int>(error);
    for (const auto& [value, name] : names) {
        if (value == number) {
            return std::string(name) + " (" + std::to_string(number) + ")";
        }
    }
    return "error " + std::to_string(number);
}

// NOTE: a pose the runtime does not vouch for is zero before tracking starts
// and untouched after a failed wait; drawn with it, both eyes and the desktop
// mirror would get non-finite matrices. Such frames are still rendered and
// submitted, from the last valid pose.
void HeadPoseTracker::update(vr::EVRCompositorError waitResult,
                             const vr::TrackedDevicePose_t& hmd) {
    if (waitResult != vr::VRCompositorError_None || !hmd.bPoseIsValid) {
        return;
    }
    const mat4 pose = fromHmdMatrix34(hmd.mDeviceToAbsoluteTracking);
    if (invertible(pose)) {
        lastValid = pose;
    }
}

// NOTE: the head pose stands on the left, so each eye's offset follows the
// head's own axes; with the eye-to-head transform on the left, a turned head
// would put one eye in front of the other.
mat4 eyeView(const vr::HmdMatrix34_t& eyeToHead, const mat4& headPose) {
    return inverse(headPose * fromHmdMatrix34(eyeToHead));
}

mat4 eyeModel(float angleDegrees, const mat4& view) {
    const float theta = angleDegrees * degreesToRadians;
    return rotate(identity(), theta, vec3{1.0f, 0.0f, 0.0f}) * view;
}
