#include "clock/stream_records.h"

#include <algorithm>
#include <cmath>

#include "clock/clock.h"

namespace cl {
namespace {

// The clock frame `frames` after `clockFrame`, pinned at the top: a clock
// started near the largest frame must not wrap into the stopped marker.
int64_t advanced(int64_t clockFrame, int64_t frames) {
    int64_t sum = 0;
    return __builtin_add_overflow(clockFrame, frames, &sum) ? INT64_MAX : sum;
}

}  // namespace

void StreamRecords::add(int64_t streamFrame, int64_t clockFrame, bool running, int64_t frames) {
    if (frames <= 0) return;
    if (count_ > 0 && streamFrame < newest().streamFrame + newest().frames) count_ = next_ = 0;

    StreamRecord entry{streamFrame, frames, clockFrame, running ? 1 : 0};
    if (clockFrame == kClockStopped) {
        entry.clockFrame = lastClockKnown_ != 0 ? lastClockFrame_ : kClockStopped;
        entry.running = 0;
    } else {
        lastClockFrame_ = entry.running != 0 ? advanced(clockFrame, frames) : clockFrame;
        lastClockKnown_ = 1;
    }

    if (count_ > 0) {
        StreamRecord& last = entries_[(next_ + kCapacity - 1) % kCapacity];
        const bool continues = last.streamFrame + last.frames == streamFrame && last.running == entry.running &&
                               (entry.running != 0 ? advanced(last.clockFrame, last.frames) == entry.clockFrame
                                                   : last.clockFrame == entry.clockFrame);
        if (continues) {
            last.frames += frames;
            return;
        }
    }
    entries_[next_] = entry;
    next_ = (next_ + 1) % kCapacity;
    if (count_ < kCapacity) count_++;
}

std::optional<double> StreamRecords::clockFrameAt(double streamPosition) const {
    if (count_ == 0 || std::isnan(streamPosition)) return std::nullopt;
    for (size_t back = 0; back < count_; ++back) {
        const StreamRecord& entry = newest(back);
        // Before the oldest entry the oldest one is extended back. A position
        // just at an entry's start is the end of the one before: the clock
        // there is the same unless it stopped or jumped, which is heard once
        // the device moves past it, and a device stood dry at the end of
        // the mix reads the same before and after the next render.
        if (static_cast<double>(entry.streamFrame) >= streamPosition && back + 1 < count_) continue;
        if (entry.clockFrame == kClockStopped) return std::nullopt;
        if (entry.running == 0) return static_cast<double>(entry.clockFrame);
        const double offset =
            std::min(streamPosition - static_cast<double>(entry.streamFrame), static_cast<double>(entry.frames));
        return static_cast<double>(entry.clockFrame) + offset;
    }
    return std::nullopt;
}

}  // namespace cl
