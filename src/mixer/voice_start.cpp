#include "mixer/voice_start.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "clock/clock.h"
#include "sound/sound_record.h"

namespace cl {

void snapGains(SoundRecord& record) {
    record.currentLeft.store(record.targetLeft.load(std::memory_order_relaxed), std::memory_order_relaxed);
    record.currentRight.store(record.targetRight.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

void idleVoice(SoundRecord& record) {
    record.playPos.store(nullptr, std::memory_order_relaxed);
    record.playEnd.store(nullptr, std::memory_order_relaxed);
    snapGains(record);
}

namespace {

// A voice that starts from idle starts at its target levels: a level set
// while it was idle needs no ramp. Only this thread writes the smoothed
// gains, so a setter can never cut a ramp that has just begun.
void beginVoice(SoundRecord& record, float* pos, float* end) {
    if (record.playPos.load(std::memory_order_relaxed) == nullptr) snapGains(record);
    record.playPos.store(pos, std::memory_order_relaxed);
    record.playEnd.store(end, std::memory_order_relaxed);
}

// Seconds to frames at or above zero, a frame's own time landing on that
// frame (clock/clock.h), below 2^32 when `limit` says so.
uint64_t framesIn(double seconds, uint32_t outputRate, uint64_t limit = UINT64_MAX) {
    const int64_t frames = secondsToFrames(seconds, outputRate);
    return frames > 0 ? std::min(static_cast<uint64_t>(frames), limit) : 0;
}

// The position a start lands on before a loop wraps it. Computed in 64
// bits: a negative offset (a position set below zero) starts at the first
// frame, and a huge one never wraps onto the data by overflow.
uint64_t unwrappedStart(double seconds, uint64_t offsetFrames, uint32_t outputRate) {
    const uint64_t frame = framesIn(seconds, outputRate, UINT32_MAX);
    return frame + (offsetFrames < UINT32_MAX ? offsetFrames : UINT32_MAX);  // both below 2^32: no wrap
}

// The frame where a start lands, or -1 when it lies past the end.
int64_t startFrame(const SoundRecord& record, double seconds, uint64_t offsetFrames, uint32_t outputRate) {
    const uint64_t frames = record.sampleCount.load(std::memory_order_relaxed) / 2;
    uint64_t frame = unwrappedStart(seconds, offsetFrames, outputRate);
    if (record.loop.load(std::memory_order_relaxed) && frames > 0) frame %= frames;
    return frame < frames ? static_cast<int64_t>(frame) : -1;
}

}  // namespace

void startVoiceAt(SoundRecord& record, double seconds, uint64_t offsetFrames, uint32_t outputRate) {
    const int64_t frame = startFrame(record, seconds, offsetFrames, outputRate);
    record.framesUntilStop = kNoStop;
    if (frame < 0) {
        idleVoice(record);
        return;
    }
    beginVoice(record, record.data.load(std::memory_order_relaxed) + 2 * frame,
               record.dataEnd.load(std::memory_order_relaxed));
}

void startScheduledVoice(SoundRecord& record, uint64_t lateFrames, double durationSeconds, uint32_t outputRate) {
    const double seconds = record.playFromSeconds.load(std::memory_order_relaxed);
    record.playFromSeconds.store(0.0, std::memory_order_relaxed);
    const int64_t frame = startFrame(record, seconds, lateFrames, outputRate);
    float* const data = record.data.load(std::memory_order_relaxed);
    float* const dataEnd = record.dataEnd.load(std::memory_order_relaxed);
    const bool timed = !std::isinf(durationSeconds);
    record.framesUntilStop = kNoStop;
    if (timed && record.loop.load(std::memory_order_relaxed)) {
        // A loop stops at its scheduled time however often it wraps: it plays
        // from its unwrapped start up to the position one duration in.
        const uint64_t stopFrame = framesIn(durationSeconds, outputRate);
        const uint64_t start = unwrappedStart(seconds, lateFrames, outputRate);
        if (frame < 0 || stopFrame <= start) {
            idleVoice(record);
            return;
        }
        record.framesUntilStop = stopFrame - start;
        beginVoice(record, data + 2 * frame, dataEnd);
        return;
    }
    float* end = dataEnd;
    if (timed) {
        // The stop lies one duration after the scheduled start, measured from
        // the first frame, so a late start still stops on time.
        const uint64_t stopFrame = framesIn(durationSeconds, outputRate, UINT32_MAX);
        if (stopFrame < static_cast<uint64_t>(dataEnd - data) / 2) end = data + 2 * stopFrame;
    }
    // A start at or past its own stop (a zero-length play, or one so late
    // its stop time has passed) plays nothing rather than a one-frame click.
    if (frame < 0 || data + 2 * frame >= end) {
        idleVoice(record);
        return;
    }
    beginVoice(record, data + 2 * frame, end);
}

void swapInEarlierPendingQueue(SoundRecord& record) {
    // One try: the main thread holds the lock only for one push or clear,
    // and an event it is adding is taken at the next frame.
    if (record.queueLock.exchange(1, std::memory_order_acquire) != 0) return;
    // An unschedule empties the pending queue and raises its flag under this
    // lock; the flag covers the active queue, so honour it before any swap.
    if (record.unscheduleRequested.exchange(0, std::memory_order_acquire)) record.activeQueue->clear();
    // Decided from the queues themselves, under the lock: the heads read
    // before it may already be stale.
    if (record.pendingQueue->head() < record.activeQueue->head()) std::swap(record.activeQueue, record.pendingQueue);
    record.activeHead.store(record.activeQueue->head(), std::memory_order_relaxed);
    record.pendingHead.store(record.pendingQueue->head(), std::memory_order_relaxed);
    record.queueLock.store(0, std::memory_order_release);
}

void fireStartEvent(SoundRecord& record, int64_t clock, uint32_t outputRate) {
    const StartEvent event = record.activeQueue->pop();
    record.activeHead.store(record.activeQueue->head(), std::memory_order_relaxed);
    // clock >= startFrame here; only absurd start times overflow the
    // difference, and those saturate.
    int64_t difference = 0;
    const uint64_t late =
        __builtin_sub_overflow(clock, event.startFrame, &difference) ? UINT64_MAX : static_cast<uint64_t>(difference);
    startScheduledVoice(record, late, event.durationSeconds, outputRate);
}

}  // namespace cl
