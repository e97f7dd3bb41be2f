#include "window_fixture.h"

#include <algorithm>
#include <chrono>

namespace {

using RealWindowQueue = RealWindow;

TEST_F(RealWindowQueue, UpdateWithNothingPendingAppendsNothing) {
    queue.update();
    EXPECT_TRUE(queue.empty());
}

TEST_F(RealWindowQueue, UpdatePumpsPostedMessagesIntoEventsInOrder) {
    ASSERT_TRUE(PostMessageA(handle(), WM_KEYDOWN, 'A', 0));
    ASSERT_TRUE(PostMessageA(handle(), WM_LBUTTONDOWN, MK_SHIFT, MAKELPARAM(10, 20)));
    ASSERT_TRUE(PostMessageA(handle(), WM_CHAR, 'a', 0));
    ASSERT_TRUE(PostMessageA(handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, 240), 0));
    ASSERT_TRUE(PostMessageA(handle(), WM_CLOSE, 0, 0));

    std::vector<Event> events = takeEvents();

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

// The system's own input (Wine's X events, for one) can end a wait early with
// nothing to pump, so the time-out is given a few tries to show itself.
bool aWaitTimesOut(EventQueue& queue) {
    constexpr int tries = 20;
    for (int i = 0; i < tries; ++i) {
        if (!queue.waitForMessages(std::chrono::milliseconds(2))) {
            return true;
        }
    }
    return false;
}

TEST_F(RealWindowQueue, WaitingEndsWithAPostedMessageOrTheTimeout) {
    EXPECT_TRUE(aWaitTimesOut(queue));
    ASSERT_TRUE(PostMessageA(handle(), WM_KEYDOWN, 'A', 0));
    EXPECT_TRUE(queue.waitForMessages(std::chrono::seconds(30)));
    const std::vector<Event> events = takeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, EventType::Keyboard);
    // A message that was seen but not pumped still ends the next wait.
    ASSERT_TRUE(PostMessageA(handle(), WM_KEYUP, 'A', 0));
    EXPECT_TRUE(queue.waitForMessages(std::chrono::seconds(30)));
    EXPECT_TRUE(queue.waitForMessages(std::chrono::seconds(30)));
    EXPECT_EQ(takeEvents().size(), 1u);
}

TEST_F(RealWindowQueue, ATimerLeftFiringByAnEarlierWaitDoesNotEndTheNextOne) {
    // A message ends the first wait before its timer fires (unless this thread
    // was held up); the timer then fires with nobody waiting. The next wait
    // must still end on its message.
    ASSERT_TRUE(PostMessageA(handle(), WM_KEYDOWN, 'A', 0));
    queue.waitForMessages(std::chrono::milliseconds(1));
    takeEvents();
    Sleep(20);
    ASSERT_TRUE(PostMessageA(handle(), WM_KEYUP, 'A', 0));
    EXPECT_TRUE(queue.waitForMessages(std::chrono::seconds(30)));
}

} // namespace
