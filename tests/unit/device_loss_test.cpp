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

// When the last attempt failed, in ms after the loss.
long long lastFailure(const std::vector<long long>& pauses, long long eachAttemptTakes) {
    long long at = eachAttemptTakes;
    for (const long long pause : pauses) {
        at += pause + eachAttemptTakes;
    }
    return at;
}

TEST(DeviceLoss, FailedRebuildsAreTriedAgainAfterShortGrowingPausesForTenSeconds) {
    const std::vector<long long> pauses = pausesUntilGivenUp(std::chrono::milliseconds(0));
    ASSERT_GT(pauses.size(), 4u);
    EXPECT_EQ(std::vector<long long>(pauses.begin(), pauses.begin() + 4),
              (std::vector<long long>{50, 100, 200, 250}));
    // A driver that is back is found within a quarter of a second.
    for (std::size_t attempt = 4; attempt < pauses.size(); ++attempt) {
        EXPECT_EQ(pauses[attempt], 250) << attempt;
    }
    EXPECT_GE(lastFailure(pauses, 0), 10000);
    EXPECT_LT(lastFailure(pauses, 0), 10250);
    // Attempts that take time themselves count towards the ten seconds.
    const std::vector<long long> slower = pausesUntilGivenUp(std::chrono::milliseconds(500));
    EXPECT_LT(slower.size(), pauses.size());
    EXPECT_GE(lastFailure(slower, 500), 10000);
    EXPECT_LT(lastFailure(slower, 500), 10750);
}

TEST(DeviceLoss, ANewLossStartsThePausesAgain) {
    RebuildRetries retries;
    RebuildRetries::Time now{};
    retries.start(now);
    retries.next(now);
    retries.next(now);
    now += std::chrono::minutes(1);
    retries.start(now);
    EXPECT_EQ(retries.next(now), now + std::chrono::milliseconds(50));
}

} // namespace
