#include "app/app_state.h"
#include "window/event_queue.h"
#include "window/window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<Event> drain(EventQueue& queue) {
    std::vector<Event> events;
    while (!queue.empty()) {
        events.push_back(queue.front());
        queue.pop();
    }
    return events;
}

WindowDesc hiddenWindow(const std::string& className) {
    WindowDesc desc;
    desc.name = className;
    desc.title = "queue test";
    desc.visible = false;
    desc.width = 320;
    desc.height = 240;
    return desc;
}

class RealWindowQueue : public ::testing::Test {
protected:
    void SetUp() override {
        setAppState(GetModuleHandleA(nullptr), nullptr, "", SW_SHOWDEFAULT);
        static int windowCount = 0;
        const std::string className = "QueueTest" + std::to_string(++windowCount);
        ASSERT_TRUE(window.create(hiddenWindow(className), queue));
        queue.update();
        drain(queue); // what creation produced
    }

    EventQueue queue;
    Window window;
};

TEST_F(RealWindowQueue, UpdateWithNothingPendingAppendsNothing) {
    queue.update();
    EXPECT_TRUE(queue.empty());
}

TEST_F(RealWindowQueue, UpdatePumpsPostedMessagesIntoEventsInOrder) {
    const HWND handle = window.nativeHandle();
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(PostMessageA(handle, WM_KEYDOWN, 'A', 0));
    ASSERT_TRUE(PostMessageA(handle, WM_LBUTTONDOWN, MK_SHIFT, MAKELPARAM(10, 20)));
    ASSERT_TRUE(PostMessageA(handle, WM_CHAR, 'a', 0));
    ASSERT_TRUE(PostMessageA(handle, WM_MOUSEWHEEL, MAKEWPARAM(0, 240), 0));
    ASSERT_TRUE(PostMessageA(handle, WM_CLOSE, 0, 0));

    queue.update();
    std::vector<Event> events = drain(queue);

    // WM_CHAR builds nothing; WM_CLOSE's default processing destroys the
    // window, whose WM_DESTROY is the second Close. Losing focus on the way
    // out is the system's business, so focus events are left out here.
    for (const Event& event : events) {
        EXPECT_EQ(event.window, &window);
    }
    events.erase(std::remove_if(events.begin(), events.end(),
                                [](const Event& e) { return e.type == EventType::Focus; }),
                 events.end());
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].type, EventType::Keyboard);
    EXPECT_EQ(events[0].data.keyboard.key, Key::A);
    EXPECT_EQ(events[0].data.keyboard.action, ButtonAction::Pressed);
    EXPECT_EQ(events[1].type, EventType::MouseButton);
    EXPECT_EQ(events[1].data.mouseButton.button, PointerButton::Left);
    EXPECT_TRUE(events[1].data.mouseButton.modifiers.shift);
    EXPECT_EQ(events[2].type, EventType::MouseWheel);
    EXPECT_DOUBLE_EQ(events[2].data.mouseWheel.delta, 2.0);
    EXPECT_EQ(events[3].type, EventType::Close);
    EXPECT_EQ(events[4].type, EventType::Close);
}

} // namespace
