#include "sound/loading.h"

#include <cmath>
#include <exception>
#include <memory>
#include <mutex>
#include <new>

#include "clock/render_handshake.h"
#include "core/float_convert.h"
#include "sound/sound_preparation.h"
#include "sound/sound_state.h"

namespace cl {
namespace {

constexpr uint32_t kBusCount = 4;

// The checks loadfloat and loadsegment share. NaN fails the speed check
// (it is not strictly positive); otherwise it would become an undefined
// sample rate. The factor check comes last: it needs a positive speed and
// finite semitones, and refuses a factor that would make one load cost
// seconds and gigabytes (or leave nothing to play) before anything is
// allocated. Its value is printed to nine digits, so a factor just outside
// a bound does not read as the bound.
bool speedAndPitchValid(SoundState& engine, float speed, float semitones) {
    if (!(speed > 0.0f)) {
        engine.log.message(3, "[CL] [tid=%4x] Invalid speed %f (must be strictly positive)\n", tid(), speed);
        return false;
    }
    if (!std::isfinite(semitones)) {
        engine.log.message(3, "[CL] [tid=%4x] Invalid semitones %f (must not be infinite)\n", tid(), semitones);
        return false;
    }
    const double factor = rateFactor(speed, semitones);
    if (!(factor >= kMinRateFactor && factor <= kMaxRateFactor)) {
        engine.log.message(
            3, "[CL] [tid=%4x] Invalid rate factor %.9g (speed * 2^(semitones/12) must be in [1/1024, 1024])\n", tid(),
            factor);
        return false;
    }
    return true;
}

void warnRuntimeSpeed(SoundState& engine, bool runtimeSpeed) {
    if (runtimeSpeed) {
        engine.log.message(2, "[CL] [tid=%4x] Runtime speed changes are not supported in this build\n", tid());
    }
}

void logLoadFailure(SoundState& engine, const char* name, const char* reason) {
    engine.log.message(3, "[CL] [tid=%4x] Failed to load sound [%s] (%s)\n", tid(), name ? name : kUnknownName, reason);
}

// After the failure line: what the game can do about it, when it can.
void logAdvice(SoundState& engine, const std::exception& error) {
    if (const auto* failure = dynamic_cast<const ProviderFailure*>(&error)) {
        engine.log.message(3, "[CL] [tid=%4x] %s\n", tid(), failure->advice());
    }
}

}  // namespace

int32_t loadFloat(SoundState& engine, const float* pData, uint32_t sampleTotal, uint32_t channels, uint32_t frequency,
                  uint32_t bus, float speed, float semitones, bool runtimeSpeed, const char* name) {
    if (channels != 1 && channels != 2) {
        engine.log.message(3, "[CL] [tid=%4x] Invalid channel count %u (must be 1 or 2)\n", tid(), channels);
        return -1;
    }
    if (frequency == 0) {
        engine.log.message(3, "[CL] [tid=%4x] Invalid frequency %u (must be greater than 0)\n", tid(), frequency);
        return -1;
    }
    if (bus >= kBusCount) {
        engine.log.message(3, "[CL] [tid=%4x] Invalid bus %u (must be less than %u)\n", tid(), bus, kBusCount);
        return -1;
    }
    if (!speedAndPitchValid(engine, speed, semitones)) return -1;
    if (pData == nullptr && sampleTotal != 0) {
        engine.log.message(3, "[CL] [tid=%4x] Invalid sample data (pData is null but sampleTotal is %u)\n", tid(),
                           sampleTotal);
        return -1;
    }
    if (channels == 1 && sampleTotal > UINT32_MAX / 2) {
        engine.log.message(3, "[CL] [tid=%4x] Invalid sample count %u (a mono sound holds at most %u samples)\n", tid(),
                           sampleTotal, UINT32_MAX / 2);
        return -1;
    }
    warnRuntimeSpeed(engine, runtimeSpeed);

    try {
        auto record = std::make_unique<SoundRecord>();
        AddRefusal refusal = AddRefusal::None;
        int32_t id = -1;
        {
            // Shared with other loads; excludes an output-rate change between
            // preparing the samples and entering the table.
            std::shared_lock<std::shared_mutex> formatStable(engine.formatLock);
            initSoundRecord(engine, *record, pData, sampleTotal, channels, frequency, bus, speed, semitones, 0, name);
            id = engine.sounds.addSound(record, refusal);  // a refused record is freed with `record`
        }
        logAddRefusal(engine.log, refusal);  // with no lock held: a log receiver may load
        return id;
    } catch (const std::exception& error) {
        logLoadFailure(engine, name, error.what());
        logAdvice(engine, error);
    } catch (...) {
        logLoadFailure(engine, name, "unknown error");
    }
    return -1;
}

int32_t loadSegment(SoundState& engine, const void* pData, const char* filename, uint32_t bus, float speed,
                    float semitones, bool runtimeSpeed, float durationSeconds) {
    if ((pData == nullptr) == (filename == nullptr)) {
        engine.log.message(3, "[CL] [tid=%4x] Must specify exactly one of pData and filename\n", tid());
        return -1;
    }
    if (bus >= kBusCount) {
        engine.log.message(3, "[CL] [tid=%4x] Invalid bus %d (must be less than %d)\n", tid(), static_cast<int>(bus),
                           static_cast<int>(kBusCount));
        return -1;
    }
    if (!speedAndPitchValid(engine, speed, semitones)) return -1;
    warnRuntimeSpeed(engine, runtimeSpeed);
    if (!(durationSeconds > 0.0f)) {  // NaN is no valid section either
        engine.log.message(3, "[CL] [tid=%4x] Invalid sample section (durationSeconds %d must be greater than 0)\n",
                           tid(), saturatingTruncate<int32_t>(durationSeconds));
        return -1;
    }
    if (std::isinf(durationSeconds)) {
        engine.log.message(3, "[CL] [tid=%4x] Decoding is not supported in this build\n", tid());
        return -1;
    }
    const int64_t frames = saturatingTruncate<int64_t>(static_cast<float>(engine.output.frameRate()) * durationSeconds);
    // The section is sized in a u32 float count; one that does not fit could
    // never be allocated and is reported so. One that fits needs no buffer:
    // without a decoder nothing would fill it, and a long section would
    // only stall the game for gigabytes it frees at once.
    if (frames > static_cast<int64_t>(UINT32_MAX / 2)) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to allocate %d frames\n", tid(),
                           saturatingTruncate<int32_t>(frames));
        return -1;
    }
    engine.log.message(3, "[CL] [tid=%4x] Decoding is not supported in this build\n", tid());
    return -1;
}

int32_t loadBytes(SoundState& engine) {
    engine.log.message(3, "[CL] [tid=%4x] Decoding is not supported in this build\n", tid());
    return -1;
}

int32_t decode(SoundState& engine) {
    engine.log.message(3, "[CL] [tid=%4x] Decoding is not supported in this build\n", tid());
    return 0;
}

void unloadSound(SoundState& engine, uint32_t id) {
    bool found = false;
    {
        // Shared access keeps a release on the main thread from freeing the
        // record while another thread marks it. It may wait for a release
        // in progress, which is brief and never involves the audio thread.
        std::shared_lock<std::shared_mutex> access(engine.sounds.soundAccessLock);
        if (SoundRecord* record = engine.sounds.lookupSound(id)) {
            // From the flag on, the mixer treats the record as stopped for
            // good, whatever requests a racing play leaves in it.
            record->unscheduleRequested.store(1, std::memory_order_release);
            record->stopRequested.store(1, std::memory_order_release);
            record->unloaded.store(1, std::memory_order_release);
            engine.sounds.raiseVisitGeneration();
            found = true;
        }
    }
    if (!found) {  // logged without the lock: a log receiver may call back in
        engine.log.message(3, "[CL] [tid=%4x] Failed to unload sound %d (sound does not exist)\n", tid(),
                           static_cast<int>(id));
        return;
    }
    if (engine.isMainThread() && rendersAreHeld(engine)) engine.sounds.releaseUnloadedSounds();
}

}  // namespace cl
