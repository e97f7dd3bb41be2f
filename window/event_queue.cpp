#include "window/event_queue.h"

void EventQueue::append(const Event& event) {
    if (event.type != EventType::None) {
        events.push_back(event);
    }
}

void EventQueue::setModalLoopFrame(std::function<void()> frame) {
    modalLoopFrame = std::move(frame);
}

void EventQueue::runModalLoopFrame() {
    if (!modalLoopFrame || inModalLoopFrame) {
        return;
    }
    inModalLoopFrame = true;
    modalLoopFrame();
    inModalLoopFrame = false;
}
