#pragma once
// The engine clock: output frames rendered while it runs.
#include <atomic>
#include <cstdint>
#include <limits>
#include <mutex>

#include "clock/heard_clock.h"

namespace cl {

inline constexpr int64_t kClockStopped = std::numeric_limits<int64_t>::min();

struct Clock {
    // Game side writes with exchanges, the mixer with one compare-and-swap
    // per render call, so a start or stop during a render wins over it.
    std::atomic<int64_t> clockFrame{kClockStopped};
    // Where a stopped clock stands. Written under clockMutex, and stored
    // (release) before the stopped marker that it explains, so the audio
    // thread, which cannot take the mutex, reads it (acquire) once it has
    // seen the marker.
    std::atomic<int64_t> clockStoppedAt{0};
    // Held by stopclock while stopping and by getclock while reading, so a
    // reader never sees the stopped marker before clockStoppedAt is set.
    // The audio thread never takes it.
    std::mutex clockMutex;
    // Which clock frame the device is playing; fed by the audio thread.
    HeardClock heard;

    bool running() const { return clockFrame.load(std::memory_order_acquire) != kClockStopped; }
};

}  // namespace cl
