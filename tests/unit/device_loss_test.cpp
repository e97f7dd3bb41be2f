#include "renderer/device_loss.h"

#include <gtest/gtest.h>

namespace {

TEST(DeviceLoss, OnlyRemovedHungAndResetMeanALostDevice) {
    EXPECT_TRUE(isDeviceLost(static_cast<std::int32_t>(0x887A0005)));
    EXPECT_TRUE(isDeviceLost(static_cast<std::int32_t>(0x887A0006)));
    EXPECT_TRUE(isDeviceLost(static_cast<std::int32_t>(0x887A0007)));
    EXPECT_FALSE(isDeviceLost(static_cast<std::int32_t>(0x80004005))); // E_FAIL
    EXPECT_FALSE(isDeviceLost(static_cast<std::int32_t>(0x8007000E))); // E_OUTOFMEMORY
    EXPECT_FALSE(isDeviceLost(static_cast<std::int32_t>(0x887A0001))); // invalid call
    EXPECT_FALSE(isDeviceLost(0));
}

TEST(DeviceLoss, ALossIsRecoveredOncePerPresentedFrame) {
    DeviceLossBudget budget;
    EXPECT_TRUE(budget.mayRecover()); // a loss before any frame, too
    budget.recovering();
    EXPECT_FALSE(budget.mayRecover()); // lost again before a frame: the end
    budget.framePresented();
    EXPECT_TRUE(budget.mayRecover());
    budget.framePresented();
    budget.recovering();
    EXPECT_FALSE(budget.mayRecover());
}

} // namespace
