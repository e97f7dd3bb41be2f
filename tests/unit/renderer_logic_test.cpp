#include "renderer/desktop_view.h"
#include "renderer/frame_clock.h"
#include "renderer/graphics_error.h"
#include "renderer/scene_data.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

TEST(Cube, TwelveTrianglesOverTwentyFourCornerVertices) {
    const auto indices = cubeIndices();
    std::set<std::uint32_t> used(indices.begin(), indices.end());
    EXPECT_EQ(used.size(), 24u);
    EXPECT_EQ(*used.rbegin(), 23u);
    const std::uint32_t firstFace[6] = {0, 2, 1, 0, 3, 2};
    const std::uint32_t lastFace[6] = {20, 22, 21, 20, 23, 22};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(indices[i], firstFace[i]);
        EXPECT_EQ(indices[30 + i], lastFace[i]);
    }
}

TEST(Cube, CornersAtPlusMinusOneWithOneYellowVertex) {
    const auto vertices = cubeVertices();
    for (std::size_t v = 0; v < vertices.size(); ++v) {
        for (float coordinate : vertices[v].position) {
            EXPECT_EQ(std::fabs(coordinate), 1.0f) << "vertex " << v;
        }
        // Each face lies in one plane: its four vertices share one coordinate.
        const Vertex& first = vertices[v - v % 4];
        int shared = 0;
        for (int axis = 0; axis < 3; ++axis) {
            shared += vertices[v].position[axis] == first.position[axis];
        }
        EXPECT_GE(shared, 1) << "vertex " << v;
    }
    EXPECT_EQ(vertices[15].color[0], 1.0f);
    EXPECT_EQ(vertices[15].color[1], 1.0f);
    EXPECT_EQ(vertices[15].color[2], 0.0f);
    EXPECT_EQ(vertices[14].color[2], 1.0f);
    EXPECT_EQ(vertices[17].color[0], 0.0f); // the top face is black
}

TEST(SwapChainSide, ClampedToOneThroughTheLargestTextureSide) {
    EXPECT_EQ(clampSwapChainSide(0), 1u);
    EXPECT_EQ(clampSwapChainSide(1), 1u);
    EXPECT_EQ(clampSwapChainSide(774), 774u);
    EXPECT_EQ(clampSwapChainSide(16384), 16384u);
    EXPECT_EQ(clampSwapChainSide(16385), 16384u);
    EXPECT_EQ(clampSwapChainSide(32767), 16384u); // the most a window size message carries
}

TEST(DesktopProjection, FollowsTheAspectOfTheClampedSize) {
    const mat4 square = desktopProjection(774, 774);
    EXPECT_NEAR(square.m[0], 1.792591f, 1e-5f);
    EXPECT_NEAR(square.m[5], 1.792591f, 1e-5f);
    const mat4 minimised = desktopProjection(clampSwapChainSide(0), clampSwapChainSide(0));
    EXPECT_FLOAT_EQ(minimised.m[0], minimised.m[5]);
    EXPECT_NEAR(desktopProjection(1548, 774).m[0], 1.792591f / 2, 1e-5f);
    EXPECT_EQ(desktopView().m[0], 500.0f);
    EXPECT_EQ(desktopView().m[15], 1.0f);
}

// A clock the test moves by hand.
SteadyTime fakeNow;
SteadyTime readFakeClock() {
    return fakeNow;
}

void advance(double milliseconds) {
    fakeNow += std::chrono::nanoseconds(static_cast<long long>(milliseconds * 1e6));
}

TEST(FrameClock, SkipsCallsCloserThanTheIntervalAndChangesOnlyCurrentTime) {
    FrameClock clock(readFakeClock);
    clock.start();
    const SteadyTime started = clock.lastFrameTime;
    advance(10);
    EXPECT_FALSE(clock.beginFrame());
    EXPECT_EQ(clock.currentTime, fakeNow);
    EXPECT_EQ(clock.lastFrameTime, started);
    EXPECT_EQ(clock.animationAngle, 0.0f);
}

TEST(FrameClock, RendersOnceTheIntervalHasPassed) {
    FrameClock clock(readFakeClock);
    clock.start();
    advance(16.66);
    EXPECT_FALSE(clock.beginFrame());
    advance(0.006666); // exactly 16.666666 ms after the start
    EXPECT_TRUE(clock.beginFrame());
    EXPECT_NEAR(clock.animationAngle, 0.016666666f, 1e-6f);
}

TEST(FrameClock, TellsHowLongUntilTheNextFrameIsDue) {
    FrameClock clock(readFakeClock);
    clock.start();
    advance(10);
    const std::chrono::nanoseconds left = clock.timeUntilNextFrame();
    EXPECT_NEAR(static_cast<double>(left.count()), 6.666666e6, 1e3);
    EXPECT_FALSE(clock.beginFrame());
    fakeNow += left; // waiting exactly that long is enough
    EXPECT_TRUE(clock.beginFrame());
    advance(20); // overdue
    EXPECT_EQ(clock.timeUntilNextFrame(), std::chrono::nanoseconds(0));
}

// The second reading of a rendered frame starts the next interval.
SteadyTime steppingNow() {
    fakeNow += std::chrono::milliseconds(5);
    return fakeNow;
}

TEST(FrameClock, TheSecondReadingBecomesTheStartOfTheNextInterval) {
    FrameClock clock(steppingNow);
    clock.start();
    advance(20);
    ASSERT_TRUE(clock.beginFrame());
    EXPECT_EQ(clock.lastFrameTime - clock.currentTime, std::chrono::milliseconds(5));
}

TEST(FrameClock, KeepsTheAnimationAngleBelowAFullTurn) {
    FrameClock clock(readFakeClock);
    clock.start();
    advance(7000);
    ASSERT_TRUE(clock.beginFrame());
    EXPECT_NEAR(clock.animationAngle, 7.0f - 6.2831855f, 1e-5f);
}

TEST(GraphicsError, NamesTheCallTheHresultAndTheSourceLine) {
    const GraphicsError error("device->CreateFence(0)", static_cast<std::int32_t>(0x887A0005),
                              "/home/builder/project/renderer/device.cpp", 61);
    EXPECT_STREQ(error.what(),
                 "device->CreateFence(0) failed with HRESULT 0x887A0005 at renderer/device.cpp:61");
    EXPECT_EQ(error.hresult(), static_cast<std::int32_t>(0x887A0005));
}

} // namespace
