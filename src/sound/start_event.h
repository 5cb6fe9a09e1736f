#pragma once
// A scheduled start and the min-heap of them that each sound keeps twice.
#include <cstdint>
#include <limits>
#include <vector>

namespace cl {

struct StartEvent {
    int64_t startFrame;      // clock frame at which the sound starts
    double durationSeconds;  // from start to stop; +infinity for none
};

// Marks an empty queue in activeHead/pendingHead.
inline constexpr int64_t kNoEvent = std::numeric_limits<int64_t>::max();

// Binary min-heap on startFrame (the earliest on top). Popping never
// allocates, so the audio thread may pop; pushing may allocate and happens
// only on the main thread.
class StartEventQueue {
public:
    void push(const StartEvent& event);
    StartEvent pop();                                          // precondition: head() != kNoEvent
    int64_t head() const;                                      // earliest start frame, or kNoEvent
    void clear() { heap_.clear(); }                            // keeps capacity: audio-thread safe
    void release() { std::vector<StartEvent>().swap(heap_); }  // frees storage: not on the audio thread
    // Applies f to every start frame; the order among frames is preserved by
    // any monotonic f, so the heap stays valid.
    template <class F>
    void rescaleStartFrames(F f) {
        for (StartEvent& event : heap_) event.startFrame = f(event.startFrame);
    }

private:
    std::vector<StartEvent> heap_;
};

}  // namespace cl
