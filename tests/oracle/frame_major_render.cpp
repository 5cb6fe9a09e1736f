// The mixer's render as it was before it mixed voice by voice: every frame
// visits every listed voice. Kept as the oracle the voice-major render must
// match bit for bit (tests/render_oracle_test.cpp) and as the baseline of
// the render benchmark. Not part of the library.
#include "oracle/frame_major_render.h"

#include <cmath>
#include <cstring>

#include "engine/engine.h"
#include "fakes/scripted_seam.h"
#include "mixer/audio_handoff.h"
#include "mixer/sample_writer.h"
#include "mixer/voice_start.h"

namespace cl::test {
namespace {

constexpr std::memory_order relaxed = std::memory_order_relaxed;

// The request take-over as it was: every flag taken with a locked
// instruction, also on idle sounds. The same results as the library's,
// at the cost the render had.
void takeOverRequestsAsBefore(SoundRecord& record, bool clockRuns, uint32_t outputRate) {
    if (record.unloaded.load(std::memory_order_acquire)) {
        if (record.playPos.load(relaxed) != nullptr) idleVoice(record);
        return;
    }
    uint8_t requested = kPlayRequested;
    if (record.playRequested.compare_exchange_strong(requested, kPlayBeingTaken, std::memory_order_acquire, relaxed)) {
        double seconds = record.playFromSeconds.load(std::memory_order_acquire);
        startVoiceAt(record, seconds, 0, outputRate);
        uint8_t taking = kPlayBeingTaken;
        if (record.playRequested.compare_exchange_strong(taking, 0, std::memory_order_release, relaxed)) {
            record.playFromSeconds.compare_exchange_strong(seconds, 0.0, relaxed);
        }
    }
    if (record.stopRequested.load(std::memory_order_acquire)) {
        idleVoice(record);
        record.stopRequested.store(0, std::memory_order_release);
    }
    if (clockRuns && record.unscheduleRequested.exchange(0, std::memory_order_acquire)) {
        record.activeQueue->clear();
        record.activeHead.store(kNoEvent, relaxed);
    }
}

// Moves current toward target by at most step, landing exactly on it.
inline float smoothToward(float current, float target, float step) {
    const float difference = target - current;
    if (difference > step) return current + step;
    if (difference < -step) return current - step;
    return target;
}

inline void smoothAtomic(std::atomic<float>& current, const std::atomic<float>& target, float step) {
    const float now = current.load(relaxed);
    const float goal = target.load(relaxed);
    if (now != goal) current.store(smoothToward(now, goal, step), relaxed);
}

// Mixes one frame of the voice into its bus and advances it.
inline void mixVoice(SoundRecord& record, float step, float (&bus)[4][2]) {
    float* pos = record.playPos.load(relaxed);
    if (pos == nullptr) return;
    smoothAtomic(record.currentLeft, record.targetLeft, step);
    smoothAtomic(record.currentRight, record.targetRight, step);
    float* accumulator = bus[record.bus];
    accumulator[0] += record.currentLeft.load(relaxed) * pos[0];
    accumulator[1] += record.currentRight.load(relaxed) * pos[1];
    pos += 2;
    if (record.framesUntilStop != kNoStop && --record.framesUntilStop == 0) {
        idleVoice(record);  // a looping voice reached its scheduled stop
        return;
    }
    float* const end = record.playEnd.load(relaxed);
    if (pos >= end) {
        float* const dataEnd = record.dataEnd.load(relaxed);
        // A voice cut short by a scheduled stop ends there even when looping.
        if (end >= dataEnd && record.loop.load(relaxed)) {
            record.playPos.store(record.data.load(relaxed), relaxed);
            record.playEnd.store(dataEnd, relaxed);
        } else {
            idleVoice(record);
        }
        return;
    }
    record.playPos.store(pos, relaxed);
}

// Lists the sounds a block must visit: playing voices and sounds with
// scheduled starts. Any other sound is idle and stays so for the block: play
// requests are taken at its start, and a start event added meanwhile raises
// the table's visit generation, which makes the mixer list again. An unloaded sound
// is never listed: its voice was idled at the start of the call. While game
// audio is paused, the idle sounds of buses 0 to 2 have their gains snapped
// here.
uint32_t listVisits(SoundTable& table, uint32_t soundCount, bool gamePaused, uint16_t* visits) {
    uint32_t count = 0;
    for (uint32_t i = 0; i < soundCount; ++i) {
        SoundRecord& record = *table.slot(i);
        if (record.unloaded.load(relaxed)) continue;
        if (record.playPos.load(relaxed) != nullptr || record.activeHead.load(relaxed) != kNoEvent ||
            record.pendingHead.load(relaxed) != kNoEvent) {
            visits[count++] = static_cast<uint16_t>(i);
        } else if (gamePaused && record.bus != 3) {
            snapGains(record);
        }
    }
    return count;
}

inline void raiseMaxSample(Limiter& limiter, float magnitude) {
    if (magnitude > limiter.maxSample.load(relaxed)) limiter.maxSample.exchange(magnitude, relaxed);
}

}  // namespace

template <class Seam>
RenderResult oracleRenderBufferWith(Engine& engine, uint8_t* out, uint32_t frames, uint8_t** nextOut,
                                    uint32_t* framesDone) {
    // Sequentially consistent: pairs with the main thread's store of the flag
    // before it reads renderActive (the pause handshake).
    if (engine.pause.audioPaused.load(std::memory_order_seq_cst)) return RenderResult::Silent;
    const bool gamePaused = engine.pause.gameAudioPaused.load(relaxed);
    std::atomic<int64_t>& clockFrame = engine.clock.clockFrame;
    int64_t c0 = clockFrame.load(std::memory_order_seq_cst);
    const bool clockRuns = c0 != kClockStopped;
    const bool clockAdvances = clockRuns && !gamePaused;
    int64_t c = c0;
    const uint32_t n = frames < kMaxRenderFrames ? frames : kMaxRenderFrames;

    SoundTable& table = engine.sounds;
    const uint32_t soundCount = table.soundCount();
    if (soundCount == 0) {
        if (clockAdvances) {
            int64_t advanced = 0;
            if (__builtin_add_overflow(c0, static_cast<int64_t>(frames), &advanced)) advanced = INT64_MAX - 1;
            clockFrame.compare_exchange_strong(c0, advanced, std::memory_order_acq_rel);
        }
        return RenderResult::Silent;
    }

    const OutputFormat& output = engine.output;
    const uint32_t rate = output.frameRate();
    for (uint32_t i = 0; i < soundCount; ++i) takeOverRequestsAsBefore(*table.slot(i), clockRuns, rate);

    const SampleFormat format = output.outputFormat.load(relaxed);
    const uint32_t channels = output.outputChannels.load(relaxed);
    const uint32_t sampleBytes = bytesPerSample(format);
    const uint32_t written = channels < 2 ? channels : 2;
    const uint32_t extraBytes = (channels - written) * sampleBytes;
    if (extraBytes > 0) std::memset(out, silenceByte(format), static_cast<size_t>(channels) * sampleBytes * n);

    const float step = output.rampStep.load(relaxed);
    BusVolumes& buses = engine.buses;
    SmoothedLevel* const busLevels[4] = {&buses.globalVolume, &buses.musicVolume, &buses.sfxVolume, &buses.menuVolume};
    Limiter& limiter = engine.limiter;

    uint16_t* const visits = engine.mixer.visits.data();
    uint64_t listedGeneration = table.visitGeneration();
    uint32_t visitCount = listVisits(table, soundCount, gamePaused, visits);
    Seam::reached(HandoffPoint::BlockListed);

    uint8_t* frameOut = out;
    for (uint32_t f = 0; f < n; ++f) {
        const uint64_t generation = table.visitGeneration();
        if (generation != listedGeneration) {
            listedGeneration = generation;
            visitCount = listVisits(table, soundCount, gamePaused, visits);
        }
        for (SmoothedLevel* level : busLevels) smoothAtomic(level->current, level->target, step);

        float bus[4][2] = {};
        for (uint32_t v = 0; v < visitCount; ++v) {
            SoundRecord& record = *table.slot(visits[v]);
            // Scheduled starts come first so an event due now sounds in this frame.
            if (clockRuns &&
                (record.activeHead.load(relaxed) != kNoEvent || record.pendingHead.load(relaxed) != kNoEvent)) {
                fireDueStartEvents(record, c, rate);
            }
            if (gamePaused && record.bus != 3) {
                snapGains(record);  // frozen in place; resumes without a ramp
                continue;
            }
            mixVoice(record, step, bus);
        }

        const float music = buses.musicVolume.current.load(relaxed);
        const float sfx = buses.sfxVolume.current.load(relaxed);
        const float menu = buses.menuVolume.current.load(relaxed);
        const float left = bus[0][0] + bus[1][0] * music + bus[2][0] * sfx + bus[3][0] * menu;
        const float right = bus[0][1] + bus[1][1] * music + bus[2][1] * sfx + bus[3][1] * menu;

        limiter.attack(std::fmax(std::fabs(left), std::fabs(right)), rate);
        const float scale = limiter.limiterGain * buses.globalVolume.current.load(relaxed);
        if (written == 1) {
            const float s = (left + right) * 0.5f * scale;
            raiseMaxSample(limiter, std::fabs(s));
            frameOut = writeSample(format, frameOut, clipSample(s));
        } else if (written == 2) {
            const float l = left * scale;
            const float r = right * scale;
            raiseMaxSample(limiter, std::fabs(l));
            raiseMaxSample(limiter, std::fabs(r));
            frameOut = writeSample(format, frameOut, clipSample(l));
            frameOut = writeSample(format, frameOut, clipSample(r));
        }
        frameOut += extraBytes;  // already silent
        limiter.releaseStep();
        if (clockAdvances && c < INT64_MAX - 1) ++c;
    }

    // A start, stop or rate change during this call wins over its advance.
    clockFrame.compare_exchange_strong(c0, c, std::memory_order_acq_rel);
    *nextOut = frameOut;
    *framesDone = n;
    return RenderResult::Rendered;
}

template RenderResult oracleRenderBufferWith<NoSeam>(Engine&, uint8_t*, uint32_t, uint8_t**, uint32_t*);
template RenderResult oracleRenderBufferWith<ScriptedSeam>(Engine&, uint8_t*, uint32_t, uint8_t**, uint32_t*);

}  // namespace cl::test
