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
    return static_cast<vr::IVRCompositor*>(fetch(entry, compositorSlot, vr::IVRCompositor_Version));
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
    }
    return start;
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
