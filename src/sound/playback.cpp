#include "sound/playback.h"

#include <cmath>

#include "sound/sound_access.h"

namespace cl {
namespace {

constexpr std::memory_order relaxed = std::memory_order_relaxed;

double framesToSeconds(SoundState& engine, const float* from, const float* to) {
    const uint32_t frames = static_cast<uint32_t>(to - from) >> 1;
    return static_cast<double>(frames) / static_cast<double>(engine.output.frameRate());
}

}  // namespace

void playFrom(SoundState& engine, uint32_t id, double seconds) {
    SoundCall call(engine, id, "play");
    SoundRecord* record = call.record();
    if (record == nullptr) return;
    if (seconds < 0) {
        call.release();
        engine.log.message(3, "[CL] [tid=%4x] Failed to play sound %d (seconds cannot be negative)\n", tid(),
                           static_cast<int>(id));
        return;
    }
    if (std::isnan(seconds)) {
        call.release();
        engine.log.message(3, "[CL] [tid=%4x] Failed to play sound %d (seconds cannot be NaN)\n", tid(),
                           static_cast<int>(id));
        return;
    }
    record->stopRequested.store(0, relaxed);
    record->playFromSeconds.store(seconds, std::memory_order_release);
    record->playRequested.store(kPlayRequested, std::memory_order_release);  // after its value
    engine.sounds.raiseVisitGeneration();                                    // after the request
}

void stopSound(SoundState& engine, uint32_t id) {
    SoundCall call(engine, id, "stop");
    if (SoundRecord* record = call.record()) {
        record->playRequested.store(0, relaxed);
        record->stopRequested.store(1, std::memory_order_release);
        engine.sounds.raiseVisitGeneration();
    }
}

double getPosition(SoundState& engine, uint32_t id) {
    SoundCall call(engine, id, "get position for");
    SoundRecord* record = call.record();
    if (record == nullptr) return 0.0;
    if (record->playRequested.load(std::memory_order_acquire) ||
        record->stopRequested.load(std::memory_order_acquire)) {
        return 0.0;  // a request still waits for the audio thread
    }
    const float* pos = record->playPos.load(relaxed);
    return pos == nullptr ? 0.0 : framesToSeconds(engine, record->data.load(relaxed), pos);
}

double getLength(SoundState& engine, uint32_t id) {
    SoundCall call(engine, id, "get length for");
    SoundRecord* record = call.record();
    if (record == nullptr) return 0.0;
    return framesToSeconds(engine, record->data.load(relaxed), record->dataEnd.load(relaxed));
}

int32_t isPlaying(SoundState& engine, uint32_t id) {
    SoundCall call(engine, id, "get playing status for");
    SoundRecord* record = call.record();
    if (record == nullptr) return 0;
    if (record->playRequested.load(std::memory_order_acquire)) return 1;
    if (record->stopRequested.load(std::memory_order_acquire)) return 0;
    return record->playPos.load(relaxed) != nullptr ? 1 : 0;
}

void setPosition(SoundState& engine, uint32_t id, double seconds) {
    if (!requireMainThread(engine, "SetPosition")) return;
    // Main thread: records are freed only here, so no lock is needed.
    SoundRecord* record = engine.sounds.lookupSound(id);
    const int printedId = static_cast<int>(id);
    if (record == nullptr) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to set position for sound %d (sound does not exist)\n", tid(),
                           printedId);
        return;
    }
    const bool audioPaused = engine.pause.audioPaused.load(std::memory_order_seq_cst);
    const bool scheduled =
        record->activeHead.load(relaxed) != kNoEvent || record->pendingHead.load(relaxed) != kNoEvent;
    if (scheduled && engine.clock.running() && !audioPaused) {
        engine.log.message(3,
                           "[CL] [tid=%4x] Failed to set position for sound %d [%s] (cannot set position while sound "
                           "is scheduled, clock is running and audio is not paused)\n",
                           tid(), printedId, record->name);
        return;
    }
    const bool playing =
        record->playRequested.load(std::memory_order_acquire) ||
        (!record->stopRequested.load(std::memory_order_acquire) && record->playPos.load(relaxed) != nullptr);
    if (playing && !audioPaused) {
        engine.log.message(3,
                           "[CL] [tid=%4x] Failed to set position for sound %d [%s] (cannot set position while sound "
                           "is playing and audio is not paused)\n",
                           tid(), printedId, record->name);
        return;
    }
    if (std::isnan(seconds)) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to set position for sound %d [%s] (seconds cannot be NaN)\n",
                           tid(), printedId, record->name);
        return;
    }
    record->playFromSeconds.store(seconds, std::memory_order_release);
}

}  // namespace cl
