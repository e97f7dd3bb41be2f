#include "vr/vr_runtime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// A runtime made of plain functions over this shared state.
struct FakeRuntime {
    vr::EVRInitError initError = vr::VRInitError_None;
    bool systemVersionValid = true;
    std::vector<std::string> compositorVersions{vr::IVRCompositor_Version};
    std::uint32_t token = 7;
    int interfaceAddress = 0x1000;
    bool handOutNothing = false;
    std::vector<std::string> calls;
} runtime;

VrEntryPoints fakeEntryPoints() {
    VrEntryPoints entry;
    entry.initInternal2 = [](vr::EVRInitError* error, vr::EVRApplicationType type, const char*) {
        runtime.calls.push_back("init " + std::to_string(type));
        *error = runtime.initError;
        return runtime.token;
    };
    entry.shutdownInternal = [] { runtime.calls.push_back("shutdown"); };
    entry.isInterfaceVersionValid = [](const char* version) {
        runtime.calls.push_back(std::string("valid? ") + version);
        if (std::string(version) == vr::IVRSystem_Version) {
            return runtime.systemVersionValid;
        }
        const auto& offered = runtime.compositorVersions;
        return std::find(offered.begin(), offered.end(), version) != offered.end();
    };
    entry.getGenericInterface = [](const char* version, vr::EVRInitError*) -> void* {
        runtime.calls.push_back(std::string("get ") + version);
        if (runtime.handOutNothing) {
            return nullptr;
        }
        return reinterpret_cast<void*>(static_cast<std::uintptr_t>(runtime.interfaceAddress++));
    };
    entry.getInitToken = [] { return runtime.token; };
    return entry;
}

class VrRuntime : public ::testing::Test {
protected:
    void SetUp() override { runtime = FakeRuntime{}; }
    VrEntryPoints entry = fakeEntryPoints();
    VrInterfaceCache cache;
};

TEST_F(VrRuntime, StartsAsASceneApplicationAndFetchesTheSystemInterface) {
    const VrStart start = startVrRuntime(entry, cache);
    EXPECT_EQ(start.error, vr::VRInitError_None);
    EXPECT_NE(start.system, nullptr);
    EXPECT_EQ(runtime.calls,
              (std::vector<std::string>{"init 1", "valid? IVRSystem_022", "get IVRSystem_022",
                                        "valid? IVRCompositor_028"}));
    EXPECT_STREQ(start.compositorVersion, "IVRCompositor_028");
}

TEST_F(VrRuntime, ARuntimeWithTheOlderCompositorOnlyHasItUsed) {
    runtime.compositorVersions = {"IVRCompositor_027"};
    const VrStart start = startVrRuntime(entry, cache);
    EXPECT_STREQ(start.compositorVersion, "IVRCompositor_027");
    cache.compositor(entry);
    EXPECT_EQ(runtime.calls.back(), "get IVRCompositor_027");
}

TEST_F(VrRuntime, ARuntimeWithNeitherCompositorKeepsAskingForTheNewest) {
    runtime.compositorVersions = {};
    EXPECT_STREQ(startVrRuntime(entry, cache).compositorVersion, "IVRCompositor_028");
}

TEST_F(VrRuntime, AnInitErrorIsReportedWithoutFurtherCalls) {
    runtime.initError = vr::VRInitError_Init_HmdNotFound;
    const VrStart start = startVrRuntime(entry, cache);
    EXPECT_EQ(start.error, vr::VRInitError_Init_HmdNotFound);
    EXPECT_EQ(start.system, nullptr);
    EXPECT_EQ(runtime.calls, (std::vector<std::string>{"init 1"}));
}

TEST_F(VrRuntime, AMissingSystemInterfaceShutsTheRuntimeDownWithError105) {
    runtime.systemVersionValid = false;
    VrStart start = startVrRuntime(entry, cache);
    EXPECT_EQ(start.error, vr::VRInitError_Init_InterfaceNotFound);
    EXPECT_EQ(runtime.calls.back(), "shutdown");

    runtime = FakeRuntime{};
    runtime.handOutNothing = true; // valid version, but no interface
    start = startVrRuntime(entry, cache);
    EXPECT_EQ(start.error, vr::VRInitError_Init_InterfaceNotFound);
    EXPECT_EQ(start.system, nullptr);
    EXPECT_EQ(runtime.calls.back(), "shutdown");
}

TEST_F(VrRuntime, TheCacheFetchesOnceAndAgainAfterTheTokenChanges) {
    cache.reset(runtime.token);
    vr::IVRCompositor* first = cache.compositor(entry);
    EXPECT_EQ(cache.compositor(entry), first);
    vr::IVRSystem* system = cache.system(entry);

    runtime.token = 8; // a new runtime connection
    vr::IVRCompositor* second = cache.compositor(entry);
    EXPECT_NE(second, first);
    EXPECT_NE(cache.system(entry), system); // every slot was cleared
    EXPECT_EQ(std::count(runtime.calls.begin(), runtime.calls.end(), "get IVRCompositor_028"), 2);
}

TEST(RefusalWatch, SaysWhenRefusalsStartChangeAndEndButNeverEveryFrame) {
    RefusalWatch watch("eye images");
    std::vector<std::string> said;
    for (int result : {0, 0, 101, 101, 101, 0, 0, 104, 1, 1, 0}) {
        if (auto line = watch.observe(static_cast<vr::EVRCompositorError>(result))) {
            said.push_back(*line);
        }
    }
    EXPECT_EQ(said, (std::vector<std::string>{
                        "The VR compositor refuses eye images: DoNotHaveFocus (101).",
                        "The VR compositor accepts eye images again.",
                        "The VR compositor refuses eye images: TextureIsOnWrongDevice (104).",
                        "The VR compositor now refuses eye images: RequestFailed (1).",
                        "The VR compositor accepts eye images again.",
                    }));
}

TEST(RefusalWatch, AnErrorWithoutANameIsGivenByNumber) {
    EXPECT_EQ(compositorErrorText(static_cast<vr::EVRCompositorError>(4242)), "error 4242");
}

vr::HmdMatrix34_t translation34(float x, float y, float z) {
    return {{{1, 0, 0, x}, {0, 1, 0, y}, {0, 0, 1, z}}};
}

// Where the view puts the eye in tracking space: its inverse applied to the
// origin.
vec3 eyePosition(const mat4& view) {
    const mat4 place = inverse(view);
    return {place.at(0, 3), place.at(1, 3), place.at(2, 3)};
}

TEST(EyeMatrices, APureTranslationEyeGivesAViewTranslatingBack) {
    const mat4 view = eyeView(translation34(-0.032f, 0.0f, 0.0f), identity());
    EXPECT_FLOAT_EQ(view.at(0, 3), 0.032f);
    EXPECT_FLOAT_EQ(view.at(1, 3), 0.0f);
    EXPECT_FLOAT_EQ(view.at(0, 0), 1.0f);

    // An unturned head gives the very bits of the eye-to-head transform's
    // inverse, whichever side of the head pose it stands on.
    const vr::HmdMatrix34_t eye = translation34(0.032f, 0.01f, -0.02f);
    const mat4 expected = inverse(fromHmdMatrix34(eye) * identity());
    EXPECT_EQ(std::memcmp(eyeView(eye, identity()).m, expected.m, sizeof(mat4)), 0);
}

TEST(EyeMatrices, TheEyesStaySideBySideWhenTheHeadTurns) {
    // The head at (1, 1.6, -2), turned 90 degrees about Y: its X axis now
    // points along -Z of the tracking space.
    const vr::HmdMatrix34_t turned = {{{0, 0, 1, 1.0f}, {0, 1, 0, 1.6f}, {-1, 0, 0, -2.0f}}};
    const mat4 head = fromHmdMatrix34(turned);
    for (const float side : {-0.032f, 0.032f}) {
        const vec3 eye = eyePosition(eyeView(translation34(side, 0, 0), head));
        EXPECT_NEAR(eye.x, 1.0f, 1e-5f) << side;
        EXPECT_NEAR(eye.y, 1.6f, 1e-5f) << side;
        EXPECT_NEAR(eye.z, -2.0f - side, 1e-5f) << side;
    }
}

vr::TrackedDevicePose_t hmdRecord(const vr::HmdMatrix34_t& pose, bool valid) {
    vr::TrackedDevicePose_t record{};
    record.mDeviceToAbsoluteTracking = pose;
    record.bPoseIsValid = valid;
    record.bDeviceIsConnected = true;
    record.eTrackingResult =
        valid ? vr::TrackingResult_Running_OK : vr::TrackingResult_Uninitialized;
    return record;
}

void expectPose(const HeadPoseTracker& tracker, const mat4& expected) {
    EXPECT_EQ(std::memcmp(tracker.pose().m, expected.m, sizeof(mat4)), 0);
}

TEST(HeadPoseTracker, StartsAtTheOriginAndTakesValidPoses) {
    HeadPoseTracker tracker;
    expectPose(tracker, identity());
    tracker.update(vr::VRCompositorError_None, hmdRecord(vr::HmdMatrix34_t{}, false));
    expectPose(tracker, identity()); // tracking not started: all zero, not valid

    const vr::HmdMatrix34_t standing = translation34(0.1f, 1.7f, 0.2f);
    tracker.update(vr::VRCompositorError_None, hmdRecord(standing, true));
    expectPose(tracker, fromHmdMatrix34(standing));
}

TEST(HeadPoseTracker, KeepsTheLastValidPoseThroughPosesNotVouchedFor) {
    HeadPoseTracker tracker;
    const vr::HmdMatrix34_t standing = translation34(0.1f, 1.7f, 0.2f);
    tracker.update(vr::VRCompositorError_None, hmdRecord(standing, true));

    const vr::HmdMatrix34_t elsewhere = translation34(5.0f, 0.0f, 0.0f);
    vr::HmdMatrix34_t notANumber = standing;
    notANumber.m[1][3] = std::nanf("");
    vr::HmdMatrix34_t flattened = standing;
    flattened.m[2][2] = 0.0f; // no inverse
    tracker.update(vr::VRCompositorError_DoNotHaveFocus, hmdRecord(elsewhere, true));
    tracker.update(vr::VRCompositorError_None, hmdRecord(elsewhere, false)); // tracking lost
    tracker.update(vr::VRCompositorError_None, hmdRecord(vr::HmdMatrix34_t{}, true));
    tracker.update(vr::VRCompositorError_None, hmdRecord(notANumber, true));
    tracker.update(vr::VRCompositorError_None, hmdRecord(flattened, true));
    expectPose(tracker, fromHmdMatrix34(standing));
}

TEST(EyeMatrices, AngleZeroLeavesTheViewAndNinetyTurnsAboutX) {
    const mat4 view = fromHmdMatrix34(translation34(0.1f, -0.2f, 0.3f));
    const mat4 unturned = eyeModel(0.0f, view);
    EXPECT_EQ(std::memcmp(unturned.m, view.m, sizeof(mat4)), 0);

    const mat4 turned = eyeModel(90.0f, view);
    const float theta = 90.0f * 0.0174532924f;
    mat4 rotation = identity();
    rotation.at(1, 1) = std::cos(theta);
    rotation.at(1, 2) = -std::sin(theta);
    rotation.at(2, 1) = std::sin(theta);
    rotation.at(2, 2) = std::cos(theta);
    const mat4 expected = rotation * view;
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(turned.m[i], expected.m[i], 1e-6f) << i;
    }
    EXPECT_NEAR(turned.at(2, 3), -0.2f, 1e-6f); // y of the translation moved into z
}

// An angle that arrives while the left eye is drawn shows in neither eye of
// that frame and in both eyes of the next.
TEST(EyePair, BothEyesOfAFrameUseTheAngleReadAtItsStart) {
    std::atomic<float> angle{10.0f};
    std::vector<std::pair<std::uint32_t, float>> passes;
    const auto recordPass = [&](std::uint32_t eye, float degrees) {
        passes.emplace_back(eye, degrees);
        if (eye == 0) {
            angle.store(degrees + 80.0f); // the pipe thread, between the passes
        }
    };
    renderEyePair(angle, recordPass);
    renderEyePair(angle, recordPass);
    const std::vector<std::pair<std::uint32_t, float>> expected{
        {0u, 10.0f}, {1u, 10.0f}, {0u, 90.0f}, {1u, 90.0f}};
    EXPECT_EQ(passes, expected);
}

} // namespace
