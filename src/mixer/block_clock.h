#pragma once
// The engine clock as one render call counts it, frame by frame.
#include <cstdint>

namespace cl {

struct BlockClock {
    bool runs = false;      // the clock was running when the call began
    bool advances = false;  // ... and game audio is not paused
    int64_t start = 0;      // its value at the call's first frame

    // The clock at frame f of the block: one more per frame while it
    // advances, never past INT64_MAX - 1 (INT64_MAX marks "no event").
    int64_t at(uint32_t f) const {
        if (!advances || start >= INT64_MAX - 1) return start;
        // Compared on the side that cannot overflow: start may be negative.
        return start > INT64_MAX - 1 - static_cast<int64_t>(f) ? INT64_MAX - 1 : start + f;
    }

    // The first frame in [from, frames) at which the clock has reached
    // `target`; `frames` if none.
    uint32_t firstFrameReaching(int64_t target, uint32_t from, uint32_t frames) const {
        if (from >= frames) return frames;
        if (at(from) >= target) return from;
        if (!advances) return frames;
        int64_t distance = 0;
        if (__builtin_sub_overflow(target, start, &distance) || distance >= static_cast<int64_t>(frames)) return frames;
        // at(distance) may still fall short when the clock saturates.
        const uint32_t frame = static_cast<uint32_t>(distance);
        return at(frame) >= target ? frame : frames;
    }
};

}  // namespace cl
