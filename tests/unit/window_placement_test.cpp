#include "window/window_placement.h"

#include <gtest/gtest.h>

namespace {

void expectRect(const ScreenRect& actual, const ScreenRect& expected) {
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.right, expected.right);
    EXPECT_EQ(actual.bottom, expected.bottom);
}

const ScreenRect screen1280{0, 0, 1280, 1024};

TEST(WindowPlacement, AWindowThatFitsIsCentredOnTheMonitorAsBefore) {
    expectRect(placeOnMonitor(790, 813, screen1280, screen1280), {245, 105, 1035, 918});
}

TEST(WindowPlacement, ATallerWindowThanTheWorkAreaIsCutAndKeepsItsCaptionOnScreen) {
    // 774 pixels and the frame at 150 % on a 1920 x 1080 screen.
    const ScreenRect screen{0, 0, 1920, 1080};
    expectRect(placeOnMonitor(1169, 1188, screen, screen), {375, 0, 1544, 1080});
}

TEST(WindowPlacement, ATaskbarsSpaceIsLeftFree) {
    const ScreenRect screen{0, 0, 1920, 1080};
    const ScreenRect aboveTaskbar{0, 0, 1920, 1040};
    expectRect(placeOnMonitor(1169, 1188, screen, aboveTaskbar), {375, 0, 1544, 1040});
    // Centred on the monitor would reach below the work area: moved up.
    expectRect(placeOnMonitor(800, 1020, screen, aboveTaskbar), {560, 20, 1360, 1040});
}

TEST(WindowPlacement, ASecondMonitorLeftOfThePrimaryKeepsTheWindow) {
    const ScreenRect left{-1280, 0, 0, 720};
    expectRect(placeOnMonitor(2000, 500, left, left), {-1280, 110, 0, 610});
}

} // namespace
