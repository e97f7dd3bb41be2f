#include "window/event_queue.h"

#include <gtest/gtest.h>

namespace {

Event dpiChange(float scale) {
    Event event = makeEvent(EventType::DpiChange, nullptr);
    event.data.dpi.scale = scale;
    return event;
}

TEST(EventStorage, EnumerationsHaveTheirFixedWidths) {
    EXPECT_EQ(sizeof(EventType), 8u);
    EXPECT_EQ(sizeof(ButtonAction), 8u);
    EXPECT_EQ(sizeof(PointerButton), 4u);
    const ModifierState modifiers;
    EXPECT_FALSE(modifiers.ctrl || modifiers.alt || modifiers.shift || modifiers.meta);
}

TEST(EventQueue, StartsEmptyAndNeverQueuesNone) {
    EventQueue queue;
    EXPECT_TRUE(queue.empty());
    queue.append(makeEvent(EventType::None, nullptr));
    EXPECT_TRUE(queue.empty());
}

TEST(EventQueue, HandsEventsOutInTheOrderTheyWereAppended) {
    EventQueue queue;
    queue.append(dpiChange(1.5f));
    queue.append(makeResizeEvent(nullptr, 1161, 1161, false));
    queue.append(makeEvent(EventType::Close, nullptr));

    ASSERT_FALSE(queue.empty());
    EXPECT_EQ(queue.front().type, EventType::DpiChange);
    EXPECT_FLOAT_EQ(queue.front().data.dpi.scale, 1.5f);
    queue.pop();
    EXPECT_EQ(queue.front().type, EventType::Resize);
    EXPECT_EQ(queue.front().data.resize.width, 1161u);
    queue.pop();
    EXPECT_EQ(queue.front().type, EventType::Close);
    queue.pop();
    EXPECT_TRUE(queue.empty());
}

TEST(EventQueue, AppendsNormallyAfterBeingDrained) {
    EventQueue queue;
    queue.append(makeEvent(EventType::Paint, nullptr));
    queue.pop();
    ASSERT_TRUE(queue.empty());
    queue.append(makeEvent(EventType::Create, nullptr));
    ASSERT_FALSE(queue.empty());
    EXPECT_EQ(queue.front().type, EventType::Create);
}

TEST(EventQueue, KeepsTheFrontEventValidWhileMoreAreAppended) {
    EventQueue queue;
    queue.append(dpiChange(2.0f));
    const Event& front = queue.front();
    for (int i = 0; i < 1000; ++i) {
        queue.append(makeResizeEvent(nullptr, 1, 1, false));
    }
    EXPECT_EQ(front.type, EventType::DpiChange);
    EXPECT_FLOAT_EQ(front.data.dpi.scale, 2.0f);
}

} // namespace
