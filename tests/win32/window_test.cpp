#include "window_fixture.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <thread>
#include <vector>

namespace {

using WindowLifecycle = RealWindow;
using SystemModalLoops = RealWindow;

// The test bench's own display, which nobody looks at.
bool onVirtualDisplay() {
    const char* flag = std::getenv("HT_VIRTUAL_DISPLAY");
    return flag != nullptr && std::strcmp(flag, "1") == 0;
}

bool hasType(const std::vector<Event>& events, EventType type) {
    return std::any_of(events.begin(), events.end(),
                       [type](const Event& event) { return event.type == type; });
}

TEST(WindowDescDefaults, AskFor1920By1080TitledLumbravaInClassLumbApp) {
    const WindowDesc desc;
    EXPECT_EQ(desc.width, 1920);
    EXPECT_EQ(desc.height, 1080);
    EXPECT_EQ(desc.title, "Lumbrava");
    EXPECT_EQ(desc.name, "LumbApp");
    EXPECT_EQ(desc.backgroundColor, 0xFFFFFFFFu);
    EXPECT_TRUE(desc.nativeFrame);
    EXPECT_TRUE(desc.visible);
    EXPECT_FALSE(desc.fullscreen);
}

TEST(WindowCreation, ClosingAWindowThatWasNeverCreatedDoesNothing) {
    Window window;
    window.close();
    EXPECT_EQ(window.nativeHandle(), nullptr);
}

TEST_F(WindowLifecycle, CreationQueuedCreateAndTheDescriptionIsKept) {
    EventQueue otherQueue;
    Window other;
    ASSERT_TRUE(other.create(describe(uniqueClassName()), otherQueue));
    otherQueue.update();
    std::vector<Event> events;
    while (!otherQueue.empty()) {
        events.push_back(otherQueue.front());
        otherQueue.pop();
    }
    EXPECT_TRUE(hasType(events, EventType::Create));
    EXPECT_TRUE(hasType(events, EventType::Resize));
    EXPECT_EQ(other.getDesc().title, "test window");
    char title[64] = {};
    GetWindowTextA(other.nativeHandle(), title, sizeof(title));
    EXPECT_STREQ(title, "test window");
    EXPECT_FALSE(IsWindowVisible(other.nativeHandle()));
}

TEST_F(WindowLifecycle, ASecondWindowOfAnAlreadyRegisteredClassIsNotCreated) {
    Window second;
    EventQueue secondQueue;
    EXPECT_FALSE(second.create(window.getDesc(), secondQueue));
    EXPECT_EQ(second.nativeHandle(), nullptr);
    EXPECT_TRUE(secondQueue.empty());
}

TEST_F(WindowLifecycle, ACloseRequestQueuesTwoClosesAndDestroysTheWindow) {
    const HWND native = handle();
    SendMessageA(native, WM_CLOSE, 0, 0);
    const std::vector<Event> events = takeEvents();
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const Event& e) { return e.type == EventType::Close; }),
              2);
    EXPECT_FALSE(IsWindow(native));
    // The system destroyed the window, so it forgot the handle, which a later
    // window may be given.
    EXPECT_EQ(window.nativeHandle(), nullptr);
    window.close();
    EXPECT_TRUE(takeEvents().empty());
}

TEST_F(WindowLifecycle, AForgedDestructionMessageEndsNothing) {
    const HWND native = handle();
    ASSERT_TRUE(PostMessageA(native, WM_NCDESTROY, 0, 0));
    takeEvents();
    EXPECT_EQ(window.nativeHandle(), native);
    // Its messages still become events, a close request included.
    ASSERT_TRUE(PostMessageA(native, WM_CLOSE, 0, 0));
    const std::vector<Event> events = takeEvents();
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const Event& e) { return e.type == EventType::Close; }),
              2);
    EXPECT_FALSE(IsWindow(native));
    EXPECT_EQ(window.nativeHandle(), nullptr);
}

TEST_F(WindowLifecycle, ClosingTwiceIsHarmless) {
    window.close();
    const std::vector<Event> events = takeEvents();
    EXPECT_TRUE(hasType(events, EventType::Close));
    window.close();
    EXPECT_EQ(window.nativeHandle(), nullptr);
    EXPECT_TRUE(takeEvents().empty());
}

TEST_F(WindowLifecycle, MinimisingQueuesAZeroSizeResize) {
    ShowWindow(handle(), SW_SHOWNOACTIVATE);
    takeEvents();
    ShowWindow(handle(), SW_MINIMIZE);
    const std::vector<Event> events = takeEvents();
    const auto resize = std::find_if(events.begin(), events.end(), [](const Event& e) {
        return e.type == EventType::Resize && e.data.resize.width == 0;
    });
    ASSERT_NE(resize, events.end());
    EXPECT_EQ(resize->data.resize.height, 0u);
    EXPECT_FALSE(resize->data.resize.resizing);
}

TEST_F(WindowLifecycle, RawInputTargetsOnlyTheFirstWindowOfAQueue) {
    EventQueue sharedQueue;
    Window first;
    Window second;
    ASSERT_TRUE(first.create(describe(uniqueClassName()), sharedQueue));
    ASSERT_TRUE(second.create(describe(uniqueClassName()), sharedQueue));
    RAWINPUTDEVICE devices[4] = {};
    UINT count = 4;
    ASSERT_EQ(GetRegisteredRawInputDevices(devices, &count, sizeof(RAWINPUTDEVICE)), 1u);
    EXPECT_EQ(devices[0].usUsagePage, 1);
    EXPECT_EQ(devices[0].usUsage, 2);
    EXPECT_EQ(devices[0].dwFlags, static_cast<DWORD>(RIDEV_INPUTSINK));
    EXPECT_EQ(devices[0].hwndTarget, first.nativeHandle());
}

RECT windowRectangle(const Window& window) {
    RECT rect{};
    GetWindowRect(window.nativeHandle(), &rect);
    return rect;
}

TEST_F(WindowLifecycle, XAndYOfAWindowedDescriptionNeverMoveOrResizeTheWindow) {
    WindowDesc desc = describe(uniqueClassName());
    desc.x = 30;
    desc.y = 20;
    OtherWindow moved(desc);
    ASSERT_TRUE(moved.created);
    const RECT expected = windowRectangle(window);
    const RECT actual = windowRectangle(moved.window);
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.right, expected.right);
    EXPECT_EQ(actual.bottom, expected.bottom);
}

TEST_F(WindowLifecycle, AFullscreenWindowIsAVisiblePopupTheSizeOfTheScreenLessXAndY) {
    // The window sets the display mode, which on a desktop somebody uses is
    // theirs to keep.
    if (!onVirtualDisplay()) {
        GTEST_SKIP() << "changes the display mode: runs on the bench's virtual display only";
    }
    WindowDesc desc = describe(uniqueClassName());
    desc.fullscreen = true;
    desc.visible = false; // the popup style carries WS_VISIBLE whatever this says
    desc.x = 10;
    desc.y = 20;
    OtherWindow fullscreen(desc);
    ASSERT_TRUE(fullscreen.created);
    const auto style = static_cast<DWORD>(GetWindowLongPtrA(fullscreen.handle(), GWL_STYLE));
    EXPECT_EQ(style & (WS_POPUP | WS_VISIBLE), static_cast<DWORD>(WS_POPUP | WS_VISIBLE));
    EXPECT_EQ(style & WS_CAPTION, 0u);
    const RECT rect = windowRectangle(fullscreen.window);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, GetSystemMetrics(SM_CXSCREEN) - 10);
    EXPECT_EQ(rect.bottom, GetSystemMetrics(SM_CYSCREEN) - 20);
}

TEST_F(WindowLifecycle, AFramelessWindowRaisesItsClientAreaOverTheCaption) {
    WindowDesc desc = describe(uniqueClassName());
    desc.nativeFrame = false;
    OtherWindow frameless(desc);
    ASSERT_TRUE(frameless.created);

    NCCALCSIZE_PARAMS params{};
    params.rgrc[0] = RECT{100, 100, 500, 400};
    MSG msg{};
    msg.hwnd = frameless.handle();
    msg.message = WM_NCCALCSIZE;
    msg.wParam = TRUE;
    msg.lParam = reinterpret_cast<LPARAM>(&params);
    EXPECT_EQ(frameless.queue.pushEvent(msg, frameless.window), 0);
    EXPECT_EQ(params.rgrc[0].top, 100 - 32);

    params.rgrc[0] = RECT{100, 100, 500, 400};
    msg.hwnd = handle();
    EXPECT_EQ(queue.pushEvent(msg, window), 0); // a native frame is left alone
    EXPECT_EQ(params.rgrc[0].top, 100);
}

// Runs a system loop with run() until something inside ends it; false when
// nothing did and a guard had to end it with end() after a generous time (so
// that the test fails, not hangs).
bool runGuarded(const std::function<void()>& run, const std::function<void()>& end) {
    std::promise<void> ended;
    std::atomic<bool> guardEndedIt{false};
    std::thread guard([&guardEndedIt, &end, finished = ended.get_future()] {
        if (finished.wait_for(std::chrono::seconds(20)) == std::future_status::timeout) {
            guardEndedIt = true;
            end();
        }
    });
    run();
    ended.set_value();
    guard.join();
    return !guardEndedIt;
}

// The system's move loop for the window, as its menu's Move command runs it.
bool runMoveLoop(HWND window) {
    ShowWindow(window, SW_SHOWNOACTIVATE); // the system moves only visible windows
    const DWORD thread = GetCurrentThreadId();
    return runGuarded(
        [window] {
            PostMessageA(window, WM_SYSCOMMAND, SC_MOVE, 0);
            MSG msg{};
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE) {
                DispatchMessageA(&msg); // the loop runs inside
            }
        },
        [thread] { PostThreadMessageA(thread, WM_KEYDOWN, VK_ESCAPE, 0); });
}

// With no other message for the loop to take, every pass after the first
// comes from the window's pulse, at the time the pass before asked for.
TEST_F(SystemModalLoops, ThePassRunsInsideTheLoopAtTheTimeItAsksForUntilTheLoopEnds) {
    constexpr auto again = std::chrono::milliseconds(30);
    std::vector<std::chrono::steady_clock::time_point> passes;
    bool inLoop = true;
    queue.setSystemLoopPass([&] {
        inLoop = inLoop && window.inSystemLoop();
        passes.push_back(std::chrono::steady_clock::now());
        if (passes.size() == 4) {
            PostMessageA(handle(), WM_KEYDOWN, VK_ESCAPE, 0); // as the person ends a move
        }
        return std::chrono::nanoseconds(again);
    });
    EXPECT_TRUE(runMoveLoop(handle()));
    ASSERT_GE(passes.size(), 4u);
    for (std::size_t pass = 2; pass < 4; ++pass) {
        EXPECT_GE(passes[pass] - passes[pass - 1], again - std::chrono::milliseconds(2)) << pass;
    }
    EXPECT_TRUE(inLoop);
    EXPECT_FALSE(window.inSystemLoop());
}

TEST_F(SystemModalLoops, AWindowClosedInsideTheLoopEndsTheLoop) {
    queue.setSystemLoopPass([&] {
        window.close();
        return std::chrono::nanoseconds(std::chrono::milliseconds(10));
    });
    EXPECT_TRUE(runMoveLoop(handle()));
    EXPECT_EQ(handle(), nullptr);
    EXPECT_TRUE(hasType(takeEvents(), EventType::Close));
}

TEST_F(SystemModalLoops, APostedDpiChangeInsideTheLoopIsQueuedButItsLParamIsNoPointerOfOurs) {
    RECT before{};
    GetWindowRect(handle(), &before);
    // A real rectangle of this process: one the window would move to if the
    // posted message's lParam were read as the system's suggestion.
    RECT elsewhere{before.left + 50, before.top + 40, before.right + 50, before.bottom + 40};
    RECT during{};
    int passes = 0;
    queue.setSystemLoopPass([&] {
        if (++passes == 1) {
            PostMessageA(handle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                         reinterpret_cast<LPARAM>(&elsewhere));
        } else if (passes == 3) {
            GetWindowRect(handle(), &during);
            PostMessageA(handle(), WM_KEYDOWN, VK_ESCAPE, 0);
        }
        return std::chrono::nanoseconds(std::chrono::milliseconds(10));
    });
    EXPECT_TRUE(runMoveLoop(handle()));
    EXPECT_TRUE(hasType(takeEvents(), EventType::DpiChange));
    EXPECT_EQ(during.left, before.left);
    EXPECT_EQ(during.top, before.top);
}

// Any process can send or post the messages that announce a loop; only the
// default processing that runs one makes the window's passes run.
TEST_F(SystemModalLoops, AnnouncedLoopsAndACloseCommandRunNoPassAndLeaveNoLoopBehind) {
    int passes = 0;
    queue.setSystemLoopPass([&] {
        ++passes;
        return std::chrono::nanoseconds(0);
    });
    SendMessageA(handle(), WM_ENTERSIZEMOVE, 0, 0);
    SendMessageA(handle(), WM_ENTERMENULOOP, FALSE, 0);
    PostMessageA(handle(), WM_ENTERSIZEMOVE, 0, 0);
    takeEvents();
    EXPECT_FALSE(window.inSystemLoop());
    SendMessageA(handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(hasType(takeEvents(), EventType::Close));
    window.close(); // as the main loop answers the Close
    MSG quit{};
    EXPECT_EQ(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE), FALSE);
    EXPECT_EQ(passes, 0);
}

// A caption button held down: the system's loop takes only mouse messages,
// so the pulse posts a mouse move; the loop ends at the button's release.
TEST_F(SystemModalLoops, ALoopThatTakesOnlyMouseMessagesStillRunsThePass) {
    ShowWindow(handle(), SW_SHOWNOACTIVATE);
    int passes = 0;
    queue.setSystemLoopPass([&] {
        if (++passes == 3) {
            PostMessageA(handle(), WM_LBUTTONUP, 0, 0);
        }
        return std::chrono::nanoseconds(std::chrono::milliseconds(10));
    });
    const HWND native = handle();
    EXPECT_TRUE(runGuarded([native] { SendMessageA(native, WM_NCLBUTTONDOWN, HTCLOSE, 0); },
                           [native] { PostMessageA(native, WM_LBUTTONUP, 0, 0); }));
    EXPECT_GE(passes, 3);
    EXPECT_FALSE(window.inSystemLoop());
}

} // namespace
