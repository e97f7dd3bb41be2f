#include "vr/openvr_abi.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

// A pointer to a member function as the Itanium C++ ABI (the native build's
// and MinGW's) represents it: for a virtual one, the byte offset of its slot
// plus one. MSVC represents it otherwise; the other builds pin the slots.
struct ItaniumMemberPointer {
    std::uintptr_t pointer;
    std::ptrdiff_t adjustment;
};
constexpr bool itaniumMemberPointers =
    sizeof(&vr::IVRSystem::PollNextEvent) == sizeof(ItaniumMemberPointer);

// The vtable slot a pointer to a virtual member function names.
template <typename Method> std::size_t slotOf(Method method) {
    ItaniumMemberPointer representation{};
    std::memcpy(&representation, &method, sizeof(representation));
    return (representation.pointer - 1) / sizeof(void*);
}

// The slots of the interfaces' published description (the runtime's binary
// interface), which the runtime calls by number: a method declared out of
// place would call another method of the runtime.
TEST(OpenVrInterface, TheSystemsMethodsSitInTheirPublishedSlots) {
    if (!itaniumMemberPointers) {
        GTEST_SKIP() << "member pointers of another ABI";
    }
    EXPECT_EQ(slotOf(&vr::IVRSystem::GetRecommendedRenderTargetSize), 0u);
    EXPECT_EQ(slotOf(&vr::IVRSystem::GetProjectionMatrix), 1u);
    EXPECT_EQ(slotOf(&vr::IVRSystem::GetProjectionRaw), 2u);
    EXPECT_EQ(slotOf(&vr::IVRSystem::ComputeDistortion), 3u);
    EXPECT_EQ(slotOf(&vr::IVRSystem::GetEyeToHeadTransform), 4u);
    EXPECT_EQ(slotOf(&vr::IVRSystem::GetOutputDevice), 8u);
    EXPECT_EQ(slotOf(&vr::IVRSystem::PollNextEvent), 29u);
    EXPECT_EQ(slotOf(&vr::IVRSystem::AcknowledgeQuit_Exiting), 43u);
}

// Slots 0 to 5 are the same in "IVRCompositor_027" and "IVRCompositor_028";
// the program calls none after them, so either version serves.
TEST(OpenVrInterface, TheCompositorsMethodsSitInTheSlotsBothVersionsShare) {
    if (!itaniumMemberPointers) {
        GTEST_SKIP() << "member pointers of another ABI";
    }
    EXPECT_EQ(slotOf(&vr::IVRCompositor::SetTrackingSpace), 0u);
    EXPECT_EQ(slotOf(&vr::IVRCompositor::GetTrackingSpace), 1u);
    EXPECT_EQ(slotOf(&vr::IVRCompositor::WaitGetPoses), 2u);
    EXPECT_EQ(slotOf(&vr::IVRCompositor::GetLastPoses), 3u);
    EXPECT_EQ(slotOf(&vr::IVRCompositor::GetLastPoseForTrackedDeviceIndex), 4u);
    EXPECT_EQ(slotOf(&vr::IVRCompositor::Submit), 5u);
}

} // namespace
