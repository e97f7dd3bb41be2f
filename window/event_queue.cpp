#include "window/event_queue.h"

void EventQueue::append(const Event& event) {
    if (event.type != EventType::None) {
        events.push_back(event);
    }
}

void EventQueue::setSystemLoopPass(SystemLoopPass pass) {
    systemLoopPass = std::move(pass);
}

std::optional<std::chrono::nanoseconds> EventQueue::runSystemLoopPass() {
    if (!systemLoopPass || inSystemLoopPass) {
        return std::nullopt;
    }
    inSystemLoopPass = true;
    const std::chrono::nanoseconds untilNext = systemLoopPass();
    inSystemLoopPass = false;
    return untilNext;
}
