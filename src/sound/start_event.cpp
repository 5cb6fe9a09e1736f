#include "sound/start_event.h"

#include <algorithm>

namespace cl {
namespace {
// std heap functions build a max-heap; ordering by "later" puts the earliest on top.
bool later(const StartEvent& a, const StartEvent& b) { return a.startFrame > b.startFrame; }
}  // namespace

void StartEventQueue::push(const StartEvent& event) {
    heap_.push_back(event);
    std::push_heap(heap_.begin(), heap_.end(), later);
}

StartEvent StartEventQueue::pop() {
    std::pop_heap(heap_.begin(), heap_.end(), later);
    StartEvent event = heap_.back();
    heap_.pop_back();
    return event;
}

int64_t StartEventQueue::head() const { return heap_.empty() ? kNoEvent : heap_.front().startFrame; }

}  // namespace cl
