#include "renderer/device_loss.h"

#include <gtest/gtest.h>

#include <vector>

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

// A failed rebuild is tried again after each pause, as soon as it fails; the
// pauses, in ms, from the attempt that failed to the next.
std::vector<long long> pausesUntilGivenUp(std::chrono::milliseconds eachAttemptTakes) {
    using namespace std::chrono;
    RebuildRetries retries;
    RebuildRetries::Time now{};
    retries.start(now);
    std::vector<long long> pauses;
    now += eachAttemptTakes;
    while (const auto next = retries.next(now)) {
        pauses.push_back(duration_cast<milliseconds>(*next - now).count());
        now = *next + eachAttemptTakes;
    }
    return pauses;
}

TEST(DeviceLoss, FailedRebuildsAreTriedAgainWithGrowingPausesForTenSeconds) {
    EXPECT_EQ(pausesUntilGivenUp(std::chrono::milliseconds(0)),
              (std::vector<long long>{100, 200, 400, 800, 1600, 2000, 2000, 2000, 2000}));
    // Attempts that take time themselves count towards the ten seconds.
    EXPECT_EQ(pausesUntilGivenUp(std::chrono::milliseconds(500)),
              (std::vector<long long>{100, 200, 400, 800, 1600, 2000, 2000}));
}

TEST(DeviceLoss, ANewLossStartsThePausesAgain) {
    RebuildRetries retries;
    RebuildRetries::Time now{};
    retries.start(now);
    retries.next(now);
    retries.next(now);
    now += std::chrono::minutes(1);
    retries.start(now);
    EXPECT_EQ(retries.next(now), now + std::chrono::milliseconds(100));
}

} // namespace
