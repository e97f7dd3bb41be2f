#include "window/translation_rules.h"
#include "window/win32_values.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct HitPoint {
    std::int32_t x;
    std::int32_t y;
    std::intptr_t expected;
};

constexpr bool frameless = false;
constexpr bool nativeFrame = true;

TEST(HitTest, FramelessRestoredWindowOf774Pixels) {
    const HitPoint points[] = {
        {300, 10, hitCaption},  {100, 10, hitClient},  {520, 10, hitClient}, // 520 is not < 514
        {300, 3, hitDefault},   {3, 100, hitDefault},  {300, 40, hitClient},
        {300, 5, hitDefault},   {300, 6, hitCaption},  {300, 31, hitCaption}, // strict edges
        {300, 32, hitClient},   {261, 10, hitCaption}, {260, 10, hitClient},
        {513, 10, hitCaption},  {514, 10, hitClient},  {768, 100, hitClient},
        {769, 100, hitDefault}, {300, 768, hitClient}, {300, 769, hitDefault},
    };
    for (const HitPoint& point : points) {
        EXPECT_EQ(hitTest(point.x, point.y, 774, 774, false, frameless), point.expected)
            << "(" << point.x << ", " << point.y << ")";
        EXPECT_EQ(hitTest(point.x, point.y, 774, 774, false, nativeFrame), hitDefault)
            << "a window with the native frame leaves (" << point.x << ", " << point.y
            << ") to the system";
    }
}

TEST(HitTest, MaximizedFramelessWindowDragsFromTheVeryTopRow) {
    EXPECT_EQ(hitTest(300, 0, 1280, 1000, true, frameless), hitDefault);
    EXPECT_EQ(hitTest(300, 1, 1280, 1000, true, frameless), hitCaption);
    EXPECT_EQ(hitTest(300, 1, 1280, 1000, false, frameless), hitDefault);
    EXPECT_EQ(hitTest(300, 1, 1280, 1000, true, nativeFrame), hitDefault);
}

TEST(WheelNotches, TruncatesTowardZeroInWholeNotches) {
    const auto wParam = [](std::int16_t delta) {
        return static_cast<std::uint64_t>(static_cast<std::uint16_t>(delta)) << 16;
    };
    EXPECT_EQ(wheelNotches(wParam(120)), 1.0);
    EXPECT_EQ(wheelNotches(wParam(-240)), -2.0);
    EXPECT_EQ(wheelNotches(wParam(60)), 0.0);
    EXPECT_EQ(wheelNotches(wParam(-119)), 0.0);
    EXPECT_EQ(wheelNotches(wParam(-360) | 0x0008), -3.0); // key flags do not leak in
}

TEST(MouseModifiers, ComeFromTheKeyFlags) {
    const ModifierState none = mouseModifiers(0x0001); // MK_LBUTTON only
    EXPECT_FALSE(none.ctrl || none.alt || none.shift || none.meta);
    const ModifierState all = mouseModifiers(0x0008 | 0x0020 | 0x0004);
    EXPECT_TRUE(all.ctrl);
    EXPECT_TRUE(all.alt);
    EXPECT_TRUE(all.shift);
    EXPECT_FALSE(all.meta);
}

std::int16_t capsLockOnly(int virtualKey) {
    return virtualKey == 20 ? 0x0001 : 0;
}
std::int16_t capsLockPressedNotToggled(int virtualKey) {
    return virtualKey == 20 ? static_cast<std::int16_t>(0x8000) : 0;
}
std::int16_t ctrlAltDown(int virtualKey) {
    return (virtualKey == 17 || virtualKey == 18) ? static_cast<std::int16_t>(0x8001) : 0;
}
std::int16_t shiftToggledOnly(int virtualKey) {
    return virtualKey == 16 ? 0x0001 : 0;
}

TEST(KeyboardModifiers, CapsLockOnCountsAsShift) {
    EXPECT_TRUE(keyboardModifiers(capsLockOnly).shift);
    EXPECT_FALSE(keyboardModifiers(capsLockPressedNotToggled).shift);
    EXPECT_FALSE(keyboardModifiers(shiftToggledOnly).shift); // shift needs the down bit
    const ModifierState modifiers = keyboardModifiers(ctrlAltDown);
    EXPECT_TRUE(modifiers.ctrl);
    EXPECT_TRUE(modifiers.alt);
    EXPECT_FALSE(modifiers.meta);
}

TEST(KeyboardKey, ShiftRemapsSemicolonAndApostrophe) {
    ModifierState shifted;
    shifted.shift = true;
    EXPECT_EQ(keyboardKey(186, shifted, capsLockOnly), Key::Colon);
    EXPECT_EQ(keyboardKey(222, shifted, capsLockOnly), Key::Quotation);
    EXPECT_EQ(keyboardKey(186, ModifierState{}, capsLockOnly), Key::Semicolon);
    EXPECT_EQ(keyboardKey(65, shifted, capsLockOnly), Key::A);
}

TEST(ExtendedButton, FirstWhenBitOneOfTheHighWordIsSet) {
    EXPECT_EQ(extendedButton(0x00010000), PointerButton::X1);
    EXPECT_EQ(extendedButton(0x00020000), PointerButton::X2);
    EXPECT_EQ(extendedButton(0x00030020), PointerButton::X1);
}

TEST(PointerCoordinates, SignedWordsAndTheClientTest) {
    const std::uint64_t lParam = (static_cast<std::uint64_t>(40) << 16) | 0xFFFD; // (-3, 40)
    EXPECT_EQ(signedWord(lParam, 0), -3);
    EXPECT_EQ(signedWord(lParam, 16), 40);
    EXPECT_EQ(insideOrMinusOne(-3, 0, 758), -1);
    EXPECT_EQ(insideOrMinusOne(0, 0, 758), 0);
    EXPECT_EQ(insideOrMinusOne(758, 0, 758), 758); // both edges count as inside
    EXPECT_EQ(insideOrMinusOne(759, 0, 758), -1);
}

TEST(ClientSize, WidthFromTheLowWordHeightFromTheBitsAbove) {
    const ResizeData size = clientSizeFromLParam((735ull << 16) | 758);
    EXPECT_EQ(size.width, 758u);
    EXPECT_EQ(size.height, 735u);
    EXPECT_FALSE(size.resizing);
    EXPECT_EQ(clientSizeFromLParam(0).width, 0u);
}

TEST(ClientSize, CutToTheLargestWindowSideBySide) {
    const ResizeData forged = withinLargestWindow(clientSizeFromLParam(0x7FFF7FFF), 1292, 1036);
    EXPECT_EQ(forged.width, 1292u);
    EXPECT_EQ(forged.height, 1036u);
    const ResizeData real =
        withinLargestWindow(clientSizeFromLParam((735ull << 16) | 758), 1292, 1036);
    EXPECT_EQ(real.width, 758u);
    EXPECT_EQ(real.height, 735u);
    EXPECT_EQ(withinLargestWindow(clientSizeFromLParam(0), 1292, 1036).width, 0u);
}

TEST(SystemLoop, OnlyTheDefaultProcessingThatRunsALoopCountsAndButtonsTakeOnlyTheMouse) {
    struct Row {
        std::uint32_t message;
        std::uint64_t wParam;
        SystemLoop loop;
    };
    constexpr std::uint32_t enterSizeMove = 0x0231, enterMenuLoop = 0x0211, timer = 0x0113;
    const Row rows[] = {
        {wmSysCommand, scMove, SystemLoop::AllMessages},
        {wmSysCommand, scMove | 2, SystemLoop::AllMessages}, // a caption drag: SC_MOVE + HTCAPTION
        {wmSysCommand, scSize | 8, SystemLoop::AllMessages}, // a border drag
        {wmSysCommand, scKeyMenu, SystemLoop::AllMessages},
        {wmSysCommand, scMouseMenu, SystemLoop::AllMessages},
        {wmSysCommand, 0xF060, SystemLoop::None}, // SC_CLOSE
        {wmSysCommand, 0xF020, SystemLoop::None}, // SC_MINIMIZE
        {wmSysCommand, 0xF030, SystemLoop::None}, // SC_MAXIMIZE
        {wmNcLButtonDown, htClose, SystemLoop::MouseMessagesOnly},
        {wmNcLButtonDown, htMinButton, SystemLoop::MouseMessagesOnly},
        {wmNcLButtonDown, htMaxButton, SystemLoop::MouseMessagesOnly},
        {wmNcLButtonDown, 2, SystemLoop::AllMessages}, // HTCAPTION
        {wmNcRButtonDown, 2, SystemLoop::MouseMessagesOnly},
        {wmContextMenu, 0, SystemLoop::AllMessages},
        {enterSizeMove, 0, SystemLoop::None},
        {enterMenuLoop, 0, SystemLoop::None},
        {timer, 1, SystemLoop::None},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(systemLoopOf(row.message, row.wParam), row.loop)
            << std::hex << row.message << " " << row.wParam;
    }
}

TEST(DpiScale, NewVerticalDpiOver96) {
    EXPECT_FLOAT_EQ(dpiScale(0x00900090), 1.5f);
    EXPECT_FLOAT_EQ(dpiScale(0x00600060), 1.0f);
}

TEST(CaptionHeight, ThirtyTwoOrTwentyThreeScaledByDpi) {
    EXPECT_EQ(captionHeight(false, 96), 32);
    EXPECT_EQ(captionHeight(true, 96), 23);
    EXPECT_EQ(captionHeight(false, 144), 48);
    EXPECT_EQ(captionHeight(true, 144), 35); // 34.5 rounds away from zero
    EXPECT_EQ(captionHeight(false, 120), 40);
}

TEST(MulDiv, RoundsHalvesAwayFromZero) {
    EXPECT_EQ(mulDiv(774, 144, 96), 1161);
    EXPECT_EQ(mulDiv(3, 1, 2), 2);
    EXPECT_EQ(mulDiv(-3, 1, 2), -2);
    EXPECT_EQ(mulDiv(5, 1, 3), 2);
    EXPECT_EQ(mulDiv(1, 1, 0), -1);
}

TEST(ColorRef, DropsAlphaAndReordersTheChannels) {
    EXPECT_EQ(colorRefFromRgba(0xFFFFFFFF), 0x00FFFFFFu);
    EXPECT_EQ(colorRefFromRgba(0x11223344), 0x00332211u);
}

} // namespace
