#pragma once
// The audio thread's side of the hand-off with the game's threads: taking
// over play, stop and unschedule requests, and firing scheduled starts. The
// game's side is in sound/playback.cpp, sound/loading.cpp (unload) and
// sound/scheduling.cpp. The rules both sides keep:
//
// - Requests: a request's value is stored before its flag (release); the
//   mixer reads the flag (acquire), acts on the voice, and only then clears
//   the flag (release). A query therefore sees the request or its result,
//   never neither: isplaying answers 1 from the moment play returns.
// - Queues: the pending queue, pendingHead, the unschedule flag raised by
//   unschedule and the swap of the two queues change only under queueLock,
//   which this thread tries once and never waits for. While renders consume
//   events (clock running, audio not paused), the active queue and
//   activeHead belong to this thread alone.
// - Unload: an unloaded sound is stopped for good. None of its requests is
//   taken over and none of its start events fires, whatever the game's
//   threads still write into the record.
#include <atomic>
#include <cstdint>

#include "mixer/handoff_seam.h"
#include "mixer/voice_start.h"
#include "sound/sound_record.h"

namespace cl {

// The take-over of a sound whose `unloaded` flag was just read clear.
template <class Seam = NoSeam>
void takeOverRequestsOfLoaded(SoundRecord& record, bool clockRuns, uint32_t outputRate) {
    constexpr std::memory_order relaxed = std::memory_order_relaxed;
    // Claimed rather than cleared: a play made meanwhile stores kPlayRequested
    // again, and the compare-and-swap that ends the take-over then leaves it
    // for the next call.
    // Every flag is read with a plain load first: an idle sound costs no
    // locked instruction.
    uint8_t requested = kPlayRequested;
    if (record.playRequested.load(relaxed) == kPlayRequested &&
        record.playRequested.compare_exchange_strong(requested, kPlayBeingTaken, std::memory_order_acquire, relaxed)) {
        Seam::reached(HandoffPoint::PlayClaimed);
        double seconds = record.playFromSeconds.load(std::memory_order_acquire);
        startVoiceAt(record, seconds, 0, outputRate);
        Seam::reached(HandoffPoint::VoiceStarted);
        uint8_t taking = kPlayBeingTaken;
        if (record.playRequested.compare_exchange_strong(taking, 0, std::memory_order_release, relaxed)) {
            // Reset only if no newer play stored its own offset meanwhile. A
            // play that stores the same offset between these two steps
            // starts from 0 at the next call: the one window left.
            record.playFromSeconds.compare_exchange_strong(seconds, 0.0, relaxed);
        }
    }
    if (record.stopRequested.load(std::memory_order_acquire)) {
        idleVoice(record);
        Seam::reached(HandoffPoint::StopSeen);
        record.stopRequested.store(0, std::memory_order_release);
    }
    if (clockRuns && record.unscheduleRequested.load(relaxed) &&
        record.unscheduleRequested.exchange(0, std::memory_order_acquire)) {
        record.activeQueue->clear();  // keeps its storage: nothing is freed on this thread
        record.activeHead.store(kNoEvent, relaxed);
    }
}

// An unloaded sound is stopped for good: its voice is idled, nothing else.
inline void stopUnloaded(SoundRecord& record) {
    if (record.playPos.load(std::memory_order_relaxed) != nullptr) idleVoice(record);
}

// Once per render call, before any frame is mixed.
template <class Seam = NoSeam>
void takeOverRequests(SoundRecord& record, bool clockRuns, uint32_t outputRate) {
    if (record.unloaded.load(std::memory_order_acquire)) {
        stopUnloaded(record);
        return;
    }
    takeOverRequestsOfLoaded<Seam>(record, clockRuns, outputRate);
}

// Pops and starts every event of the sound due at clock frame `clock`, in
// start order across both queues. Called for each frame while the clock runs.
template <class Seam = NoSeam>
void fireDueStartEvents(SoundRecord& record, int64_t clock, uint32_t outputRate) {
    if (record.unloaded.load(std::memory_order_acquire)) return;
    for (;;) {
        // A hint only: the swap decides again from the queues, under the lock.
        if (record.pendingHead.load(std::memory_order_relaxed) < record.activeQueue->head()) {
            Seam::reached(HandoffPoint::BeforeQueueSwap);
            swapInEarlierPendingQueue(record);
        }
        const int64_t head = record.activeQueue->head();
        // An empty queue ends here even at the clock's last frame.
        if (head == kNoEvent || clock < head) return;
        fireStartEvent(record, clock, outputRate);
    }
}

}  // namespace cl
