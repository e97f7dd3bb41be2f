#include "window/event_queue.h"

void EventQueue::append(const Event& event) {
    if (event.type != EventType::None) {
        events.push_back(event);
    }
}
