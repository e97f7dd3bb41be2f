#include "window_fixture.h"

#include <windowsx.h>

namespace {

using MessageTranslation = RealWindow;

LPARAM screenPoint(LONG x, LONG y) {
    return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y));
}

// The hit test of the window procedure at points given relative to the
// window's top-left corner.
LRESULT hitTestAt(HWND handle, LONG x, LONG y) {
    RECT rect{};
    GetWindowRect(handle, &rect);
    return SendMessageA(handle, WM_NCHITTEST, 0, screenPoint(rect.left + x, rect.top + y));
}

TEST_F(MessageTranslation, AFramelessWindowAnswersCaptionClientOrDefault) {
    WindowDesc desc = describe(uniqueClassName());
    desc.nativeFrame = false;
    OtherWindow frameless(desc);
    ASSERT_TRUE(frameless.created);
    ASSERT_TRUE(SetWindowPos(frameless.handle(), nullptr, 100, 50, 774, 600, SWP_NOZORDER));
    RECT rect{};
    GetWindowRect(frameless.handle(), &rect);
    const struct {
        LONG x, y;
        LRESULT expected;
    } points[] = {{300, 10, HTCAPTION}, {100, 10, HTCLIENT}, {520, 10, HTCLIENT},
                  {300, 40, HTCLIENT},  {300, 3, 0},         {3, 100, 0}};
    for (const auto& point : points) {
        MSG msg{};
        msg.hwnd = frameless.handle();
        msg.message = WM_NCHITTEST;
        msg.lParam = screenPoint(rect.left + point.x, rect.top + point.y);
        EXPECT_EQ(frameless.queue.pushEvent(msg, frameless.window), point.expected)
            << point.x << ", " << point.y;
    }
    // Through the window procedure, a caption answer suppresses the default one.
    EXPECT_EQ(hitTestAt(frameless.handle(), 300, 10), HTCAPTION);
}

TEST_F(MessageTranslation, AWindowWithTheNativeFrameGetsTheSystemsAnswer) {
    ASSERT_TRUE(SetWindowPos(handle(), nullptr, 100, 50, 774, 600, SWP_NOZORDER));
    takeEvents();
    RECT client{};
    GetClientRect(handle(), &client);
    POINT origin{0, 0};
    ClientToScreen(handle(), &origin);
    RECT rect{};
    GetWindowRect(handle(), &rect);
    const LONG captionY = (origin.y - rect.top) / 2;
    EXPECT_EQ(hitTestAt(handle(), 100, captionY), HTCAPTION);
    EXPECT_EQ(hitTestAt(handle(), 300, captionY), HTCAPTION);
    EXPECT_EQ(hitTestAt(handle(), origin.x - rect.left + client.right / 2,
                        origin.y - rect.top + client.bottom / 2),
              HTCLIENT);
    EXPECT_TRUE(takeEvents().empty());
}

TEST_F(MessageTranslation, WheelTurnsInWholeNotches) {
    const struct {
        short delta;
        double notches;
    } turns[] = {{120, 1.0}, {-240, -2.0}, {60, 0.0}};
    for (const auto& turn : turns) {
        const Event event = sendForOneEvent(WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, turn.delta), 0);
        EXPECT_EQ(event.type, EventType::MouseWheel);
        EXPECT_EQ(event.data.mouseWheel.delta, turn.notches);
        EXPECT_TRUE(event.data.mouseWheel.modifiers.ctrl);
    }
}

TEST_F(MessageTranslation, CapsLockOnWithoutShiftGivesColonAndShift) {
    BYTE keys[256] = {};
    keys[VK_CAPITAL] = 0x01;
    ASSERT_TRUE(SetKeyboardState(keys));
    const Event event = sendForOneEvent(WM_KEYDOWN, VK_OEM_1, 0);
    EXPECT_EQ(event.type, EventType::Keyboard);
    EXPECT_EQ(event.data.keyboard.key, Key::Colon);
    EXPECT_TRUE(event.data.keyboard.modifiers.shift);
    EXPECT_EQ(event.data.keyboard.action, ButtonAction::Pressed);

    keys[VK_CAPITAL] = 0;
    ASSERT_TRUE(SetKeyboardState(keys));
    const Event released = sendForOneEvent(WM_SYSKEYUP, VK_OEM_1, 0);
    EXPECT_EQ(released.data.keyboard.key, Key::Semicolon);
    EXPECT_FALSE(released.data.keyboard.modifiers.shift);
    EXPECT_EQ(released.data.keyboard.action, ButtonAction::Released);
}

TEST_F(MessageTranslation, RightShiftToggledClaimsALeftShiftPress) {
    BYTE keys[256] = {};
    keys[VK_RSHIFT] = 0x01;
    ASSERT_TRUE(SetKeyboardState(keys));
    EXPECT_EQ(sendForOneEvent(WM_KEYDOWN, VK_LSHIFT, 0).data.keyboard.key, Key::RightShift);
    ASSERT_TRUE(SetKeyboardState(std::vector<BYTE>(256, 0).data()));
    EXPECT_EQ(sendForOneEvent(WM_KEYDOWN, VK_SHIFT, 0).data.keyboard.key, Key::LeftShift);
}

TEST_F(MessageTranslation, PointerOutsideTheClientAreaKeepsItsRawCoordinates) {
    const Event first = sendForOneEvent(WM_MOUSEMOVE, 0, MAKELPARAM(static_cast<WORD>(-3), 40));
    EXPECT_EQ(first.type, EventType::MouseMove);
    EXPECT_EQ(first.data.mouseMove.x, -1);
    EXPECT_EQ(first.data.mouseMove.y, 40);
    EXPECT_EQ(first.data.mouseMove.pointerX, -3);
    EXPECT_EQ(first.data.mouseMove.pointerY, 40);
    EXPECT_EQ(first.data.mouseMove.deltaX, -3); // the queue's first motion counts from (0, 0)
    EXPECT_EQ(first.data.mouseMove.deltaY, 40);

    const Event second = sendForOneEvent(WM_MOUSEMOVE, 0, MAKELPARAM(10, 50));
    EXPECT_EQ(second.data.mouseMove.x, 10);
    EXPECT_EQ(second.data.mouseMove.deltaX, 13);
    EXPECT_EQ(second.data.mouseMove.deltaY, 10);
}

TEST_F(MessageTranslation, ExtendedButtonsAreToldApartByTheHighWord) {
    const Event first = sendForOneEvent(WM_XBUTTONDOWN, MAKEWPARAM(MK_XBUTTON1, XBUTTON1), 0);
    EXPECT_EQ(first.type, EventType::MouseButton);
    EXPECT_EQ(first.data.mouseButton.button, PointerButton::X1);
    EXPECT_EQ(first.data.mouseButton.action, ButtonAction::Pressed);
    EXPECT_TRUE(first.data.mouseButton.modifiers.alt); // MK_XBUTTON1 shares the alt bit

    const Event second = sendForOneEvent(WM_XBUTTONUP, MAKEWPARAM(MK_SHIFT, XBUTTON2), 0);
    EXPECT_EQ(second.data.mouseButton.button, PointerButton::X2);
    EXPECT_EQ(second.data.mouseButton.action, ButtonAction::Released);
    EXPECT_TRUE(second.data.mouseButton.modifiers.shift);
    EXPECT_FALSE(second.data.mouseButton.modifiers.alt);

    EXPECT_EQ(sendForOneEvent(WM_MBUTTONDOWN, 0, 0).data.mouseButton.button, PointerButton::Middle);
    EXPECT_EQ(sendForOneEvent(WM_RBUTTONUP, 0, 0).data.mouseButton.button, PointerButton::Right);
}

TEST_F(MessageTranslation, SizingIsAnsweredWith768AndReportsTheOuterSize) {
    RECT drag{100, 50, 900, 650};
    EXPECT_EQ(SendMessageA(handle(), WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&drag)),
              768);
    const std::vector<Event> events = takeEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().type, EventType::Resize);
    EXPECT_EQ(events.front().data.resize.width, 800u);
    EXPECT_EQ(events.front().data.resize.height, 600u);
    EXPECT_TRUE(events.front().data.resize.resizing);
    EXPECT_EQ(drag.right, 900); // the drag rectangle is left alone
}

TEST_F(MessageTranslation, ASizingRectangleLargerThanAnyWindowIsCutToTheLargest) {
    RECT drag{0, 0, 32767, 32767};
    SendMessageA(handle(), WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&drag));
    RECT inverted{500, 500, 100, 100};
    SendMessageA(handle(), WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&inverted));
    const std::vector<Event> events = takeEvents();
    ASSERT_EQ(events.size(), 2u);
    for (const Event& event : events) {
        EXPECT_EQ(event.data.resize.width,
                  static_cast<std::uint32_t>(GetSystemMetrics(SM_CXMAXTRACK)));
        EXPECT_EQ(event.data.resize.height,
                  static_cast<std::uint32_t>(GetSystemMetrics(SM_CYMAXTRACK)));
    }
}

TEST_F(MessageTranslation, CharacterAndDoubleClickMessagesAppendNothing) {
    SendMessageA(handle(), WM_CHAR, 'a', 0);
    SendMessageA(handle(), WM_LBUTTONDBLCLK, 0, 0);
    SendMessageA(handle(), WM_MOUSEHWHEEL, MAKEWPARAM(0, 120), 0);
    EXPECT_TRUE(takeEvents().empty());
}

TEST_F(MessageTranslation, MinimumTrackingSizeComesFromTheDescription) {
    WindowDesc desc = describe(uniqueClassName());
    desc.minWidth = 321;
    desc.minHeight = 123;
    OtherWindow other(desc);
    ASSERT_TRUE(other.created);
    MINMAXINFO info{};
    info.ptMinTrackSize = POINT{1, 1};
    info.ptMaxSize = POINT{1234, 567};
    MSG msg{};
    msg.hwnd = other.handle();
    msg.message = WM_GETMINMAXINFO;
    msg.lParam = reinterpret_cast<LPARAM>(&info);
    EXPECT_EQ(other.queue.pushEvent(msg, other.window), 0);
    EXPECT_EQ(info.ptMinTrackSize.x, 321);
    EXPECT_EQ(info.ptMinTrackSize.y, 123);
    EXPECT_EQ(info.ptMaxSize.x, 1234);
}

TEST_F(MessageTranslation, MessagesWithoutTheirRecordGoToTheDefaultProcessing) {
    // Any process may send these with lParam 0; nothing is read through it.
    for (const UINT message : {WM_SIZING, WM_GETMINMAXINFO, WM_NCCALCSIZE, WM_DPICHANGED}) {
        MSG msg{};
        msg.hwnd = handle();
        msg.message = message;
        msg.wParam = message == WM_DPICHANGED ? MAKEWPARAM(144, 144) : TRUE;
        EXPECT_EQ(queue.pushEvent(msg, window), 0) << message;
    }
    // Only the DPI change is still queued: its scale comes from wParam.
    const std::vector<Event> events = takeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, EventType::DpiChange);
}

TEST_F(MessageTranslation, APostedDpiChangeIsQueuedButItsLParamIsNoPointerOfOurs) {
    RECT before{};
    GetWindowRect(handle(), &before);
    ASSERT_TRUE(PostMessageA(handle(), WM_DPICHANGED, MAKEWPARAM(144, 144), 0x1234));
    const std::vector<Event> events = takeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, EventType::DpiChange);
    EXPECT_FLOAT_EQ(events[0].data.dpi.scale, 1.5f);
    RECT after{};
    GetWindowRect(handle(), &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.right, before.right);
}

TEST_F(MessageTranslation, DpiChangeIsQueuedBeforeTheResizeOfTheMoveItCauses) {
    RECT suggested{10, 20, 610, 470};
    SendMessageA(handle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    const std::vector<Event> events = takeEvents();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0].type, EventType::DpiChange);
    EXPECT_FLOAT_EQ(events[0].data.dpi.scale, 1.5f);
    bool resized = false;
    for (std::size_t i = 1; i < events.size(); ++i) {
        resized = resized || events[i].type == EventType::Resize;
    }
    EXPECT_TRUE(resized);
    RECT now{};
    GetWindowRect(handle(), &now);
    EXPECT_EQ(now.left, 10);
    EXPECT_EQ(now.bottom - now.top, 450);
}

TEST_F(MessageTranslation, FocusAndPaintBecomeEvents) {
    EXPECT_TRUE(sendForOneEvent(WM_SETFOCUS, 0, 0).data.focus.focused);
    EXPECT_FALSE(sendForOneEvent(WM_KILLFOCUS, 0, 0).data.focus.focused);
    EXPECT_EQ(sendForOneEvent(WM_PAINT, 0, 0).type, EventType::Paint);
}

} // namespace
