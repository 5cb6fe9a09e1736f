#pragma once
// What the mixer put on the stream: for recent runs of stream frames, the
// clock frame each one carries. The device plays these frames a buffer
// later, so this is how a stream position becomes the clock time heard.
//
// Renders that continue each other (the clock running on, or held at one
// value) extend the newest entry instead of adding one, so the list only
// grows when the clock stops, freezes, starts or jumps, and a short list
// covers any buffer length.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace cl {

struct StreamRecord {
    int64_t streamFrame = 0;  // the first stream frame of the run
    int64_t frames = 0;
    int64_t clockFrame = 0;  // carried by the first frame; kClockStopped when not known
    int64_t running = 0;     // 1: the clock advances with the stream; 0: it holds clockFrame
};

class StreamRecords {
public:
    static constexpr std::size_t kCapacity = 32;

    // Frames [streamFrame, streamFrame + frames) were mixed with the clock at
    // clockFrame (kClockStopped: the clock was stopped, and holds where it
    // last stood), advancing with each frame when running. Stream frames
    // only go forward; one that steps back starts the list afresh.
    void add(int64_t streamFrame, int64_t clockFrame, bool running, int64_t frames);

    // The clock frame (fractional between frames) at a stream position, or
    // nothing when no entry says. Past the newest entry's end the clock
    // stands where the mix has got to: nothing later has been mixed.
    std::optional<double> clockFrameAt(double streamPosition) const;

    bool empty() const { return count_ == 0; }
    std::size_t size() const { return count_; }
    const StreamRecord& record(std::size_t i) const { return newest(count_ - 1 - i); }  // 0 is the oldest

private:
    const StreamRecord& newest(std::size_t back = 0) const {
        return entries_[(next_ + kCapacity - 1 - back) % kCapacity];
    }

    std::array<StreamRecord, kCapacity> entries_{};
    uint32_t count_ = 0;
    uint32_t next_ = 0;  // where the next entry goes
    // The clock frame after the last entry that knew it: a stopped clock holds it.
    int64_t lastClockFrame_ = 0;
    int64_t lastClockKnown_ = 0;
};

}  // namespace cl
