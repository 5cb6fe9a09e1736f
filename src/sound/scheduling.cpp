#include "sound/scheduling.h"

#include <cmath>

#include "clock/clock.h"
#include "clock/render_handshake.h"
#include "sound/sound_state.h"

namespace cl {
namespace {

// Two queues per sound keep the audio thread lock-free (the rules are in
// mixer/audio_handoff.h): while renders consume events, this thread only
// adds to the pending queue and empties it, under queueLock, and the audio
// thread swaps the queues when the pending one holds the earliest event.
// Only while no render can consume events does this thread use the active
// queue directly.
class QueueLockGuard {
public:
    explicit QueueLockGuard(std::atomic<uint8_t>& lock) : lock_(lock) {
        // Test-and-test-and-set: the audio thread holds it for one swap at most.
        while (lock_.exchange(1, std::memory_order_acquire) != 0) {
            while (lock_.load(std::memory_order_relaxed) != 0) {
            }
        }
    }
    ~QueueLockGuard() { lock_.store(0, std::memory_order_release); }
    QueueLockGuard(const QueueLockGuard&) = delete;
    QueueLockGuard& operator=(const QueueLockGuard&) = delete;

private:
    std::atomic<uint8_t>& lock_;
};

void clearActiveQueue(SoundRecord& record) {
    record.activeQueue->release();
    record.activeHead.store(kNoEvent, std::memory_order_relaxed);
    record.unscheduleRequested.store(0, std::memory_order_relaxed);
}

void pushStartEvent(SoundState& engine, SoundRecord& record, const StartEvent& event) {
    if (!startEventsAreHeld(engine)) {
        QueueLockGuard guard(record.queueLock);
        record.pendingQueue->push(event);
        record.pendingHead.store(record.pendingQueue->head(), std::memory_order_relaxed);
    } else {
        record.activeQueue->push(event);
        record.activeHead.store(record.activeQueue->head(), std::memory_order_relaxed);
    }
    // After the head: a mixer that sees the new generation sees the event.
    engine.sounds.raiseVisitGeneration();
}

}  // namespace

void scheduleClock(SoundState& engine, uint32_t id, double startSeconds, double stopSeconds) {
    if (!requireMainThread(engine, "ScheduleClock")) return;
    SoundRecord* record = engine.sounds.lookupSound(id);
    const int printedId = static_cast<int>(id);
    if (record == nullptr) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to schedule sound %d (sound does not exist)\n", tid(), printedId);
        return;
    }
    // A start that is not a finite time has no frame to fire at (and +inf
    // would collide with the empty-queue marker); a NaN stop has no duration.
    if (!std::isfinite(startSeconds)) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to schedule sound %d (startSeconds must be finite)\n", tid(),
                           printedId);
        return;
    }
    if (std::isnan(stopSeconds)) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to schedule sound %d (stopSeconds cannot be NaN)\n", tid(),
                           printedId);
        return;
    }
    if (startSeconds > stopSeconds) {
        engine.log.message(3,
                           "[CL] [tid=%4x] Failed to schedule sound %d (stopSeconds cannot be before startSeconds)\n",
                           tid(), printedId);
        return;
    }
    if (record->unscheduleRequested.load(std::memory_order_acquire) && startEventsAreHeld(engine)) {
        clearActiveQueue(*record);
    }
    const uint32_t rate = engine.output.frameRate();
    int64_t startFrame = secondsToFrames(startSeconds, rate);
    if (startFrame == kNoEvent) startFrame = kNoEvent - 1;  // far future, but still an event
    pushStartEvent(engine, *record,
                   StartEvent{startFrame, scheduledDuration(startSeconds, startFrame, stopSeconds, rate)});
}

void unscheduleSound(SoundState& engine, uint32_t id) {
    if (!requireMainThread(engine, "Unschedule")) return;
    SoundRecord* record = engine.sounds.lookupSound(id);
    if (record == nullptr) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to unschedule sound %d (sound does not exist)\n", tid(),
                           static_cast<int>(id));
        return;
    }
    const bool held = startEventsAreHeld(engine);
    if (held) clearActiveQueue(*record);
    QueueLockGuard guard(record->queueLock);
    record->pendingQueue->release();
    record->pendingHead.store(kNoEvent, std::memory_order_relaxed);
    // Raised under the lock, with the pending queue already empty: a swap
    // came either before (and the flag empties what it swapped in) or after.
    if (!held) record->unscheduleRequested.store(1, std::memory_order_release);
    engine.sounds.raiseVisitGeneration();
}

bool pauseAudio(SoundState& engine) {
    if (!requireMainThread(engine, "PauseAudio")) return false;
    engine.pause.audioPaused.exchange(1, std::memory_order_seq_cst);
    if (!waitForRenderToYield(engine, "PauseAudio")) return false;
    engine.sounds.releaseUnloadedSounds();  // the handshake held the renders: records may go
    return true;
}

void unpauseAudio(SoundState& engine) {
    if (!requireMainThread(engine, "UnpauseAudio")) return;
    engine.pause.audioPaused.exchange(0, std::memory_order_seq_cst);
}

void pauseGameAudio(SoundState& engine) { engine.pause.gameAudioPaused.store(1, std::memory_order_relaxed); }

void unpauseGameAudio(SoundState& engine) { engine.pause.gameAudioPaused.store(0, std::memory_order_relaxed); }

}  // namespace cl
