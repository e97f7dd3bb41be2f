#pragma once

#include "app/app_state.h"
#include "window/event_queue.h"
#include "window/window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A real hidden window with its own class and queue, emptied of the events
// its creation produced.
class RealWindow : public ::testing::Test {
protected:
    void SetUp() override {
        setAppState(GetModuleHandleA(nullptr), nullptr, "", SW_SHOWDEFAULT);
        ASSERT_TRUE(window.create(describe(uniqueClassName()), queue));
        takeEvents();
    }

    static std::string uniqueClassName() {
        static int count = 0;
        return "TestWindow" + std::to_string(++count);
    }

    static WindowDesc describe(const std::string& className) {
        WindowDesc desc;
        desc.name = className;
        desc.title = "test window";
        desc.visible = false;
        desc.width = 400;
        desc.height = 300;
        return desc;
    }

    // Every event queued so far, oldest first, pumping pending messages first.
    std::vector<Event> takeEvents() {
        queue.update();
        std::vector<Event> events;
        while (!queue.empty()) {
            events.push_back(queue.front());
            queue.pop();
        }
        return events;
    }

    // Sends one message through the real window procedure and returns the
    // single event it produced; fails the test unless exactly one came.
    Event sendForOneEvent(UINT message, WPARAM wParam, LPARAM lParam) {
        SendMessageA(window.nativeHandle(), message, wParam, lParam);
        const std::vector<Event> events = takeEvents();
        EXPECT_EQ(events.size(), 1u) << "message " << message;
        return events.empty() ? Event{} : events.front();
    }

    HWND handle() const { return window.nativeHandle(); }

    // Another real window, with a queue of its own.
    struct OtherWindow {
        explicit OtherWindow(const WindowDesc& desc) : created(window.create(desc, queue)) {}
        HWND handle() const { return window.nativeHandle(); }

        EventQueue queue;
        Window window;
        bool created;
    };

    EventQueue queue;
    Window window;
};
