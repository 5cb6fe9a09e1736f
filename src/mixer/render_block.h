#pragma once
// The body of renderBuffer, a template over the hand-off seam so tests can
// add a start event at the point where a render has listed its sounds. The
// library instantiates it once, with the empty seam (render.cpp).
#include <cmath>
#include <cstring>

#include "mixer/audio_handoff.h"
#include "mixer/handoff_seam.h"
#include "mixer/mixer_state.h"
#include "mixer/render.h"
#include "mixer/sample_writer.h"
#include "mixer/smoothing.h"
#include "mixer/voice_mix.h"

namespace cl {
namespace render_detail {

inline constexpr std::memory_order relaxed = std::memory_order_relaxed;

// What a bus with no voice in the block adds: silence, never written.
inline constexpr float kSilentBus[kMaxRenderFrames * 2] = {};

// A sound the block must visit: a playing voice or scheduled starts. Any
// other sound is idle and stays so for the block: play requests are taken
// at its start.
inline bool mustVisit(const SoundRecord& record) {
    return record.playPos.load(relaxed) != nullptr || record.activeHead.load(relaxed) != kNoEvent ||
           record.pendingHead.load(relaxed) != kNoEvent;
}

// Lists the sounds to visit, in table order; with `takeOver`, takes over
// their requests first. While game audio is paused, the idle sounds of
// buses 0 to 2 have their gains snapped here.
template <bool takeOver>
uint32_t listVisits(SoundTable& table, uint32_t soundCount, bool clockRuns, uint32_t rate, bool gamePaused,
                    uint16_t* visits) {
    uint32_t count = 0;
    constexpr uint32_t kAhead = 4;  // records are a cache line each: fetch a few ahead
    for (uint32_t i = 0; i < soundCount; ++i) {
        if (i + kAhead < soundCount) __builtin_prefetch(table.slot(i + kAhead));
        SoundRecord& record = *table.slot(i);
        // An unloaded sound is never visited: its voice is idled here.
        if (record.unloaded.load(std::memory_order_acquire)) {
            if constexpr (takeOver) stopUnloaded(record);
            continue;
        }
        if constexpr (takeOver) takeOverRequestsOfLoaded(record, clockRuns, rate);
        if (mustVisit(record)) {
            visits[count++] = static_cast<uint16_t>(i);
        } else if (gamePaused && record.bus != 3) {
            snapGains(record);
        }
    }
    return count;
}

// The sounds of the last list that still play or wait for a start, in
// table order.
inline uint32_t keepVisiting(const SoundTable& table, uint16_t* visits, uint32_t count) {
    uint32_t kept = 0;
    for (uint32_t v = 0; v < count; ++v) {
        if (mustVisit(*table.slot(visits[v]))) visits[kept++] = visits[v];
    }
    return kept;
}

inline void raiseMaxSample(Limiter& limiter, float magnitude) {
    if (magnitude > limiter.maxSample.load(relaxed)) limiter.maxSample.exchange(magnitude, relaxed);
}

// The bus volumes as this call moves them, in locals; stored back at its end.
struct BusLevels {
    float global, music, sfx, menu;
};

inline void smoothLevel(float& current, const SmoothedLevel& level, float step) {
    const float target = level.target.load(relaxed);  // every frame: a bus change ramps from the next one
    if (current != target) current = smoothToward(current, target, step);
}

// Mixes the four buses of each frame, limits, clips and writes the frames
// in `Format` with `Written` (1 or 2) channels carrying sound; compiled once
// per format, so no frame branches on it. Returns the byte after the last frame.
template <SampleFormat Format, uint32_t Written>
uint8_t* writeFramesAs(MixerState& engine, const float* const (&bus)[4], uint32_t frames, uint8_t* out) {
    const OutputFormat& output = engine.output;
    const uint32_t extraBytes = (output.outputChannels.load(relaxed) - Written) * bytesPerSample(Format);
    const uint32_t rate = output.frameRate();
    const float step = output.rampStep.load(relaxed);
    BusVolumes& buses = engine.buses;
    Limiter& limiter = engine.limiter;
    BusLevels levels{buses.globalVolume.current.load(relaxed), buses.musicVolume.current.load(relaxed),
                     buses.sfxVolume.current.load(relaxed), buses.menuVolume.current.load(relaxed)};

    for (uint32_t f = 0; f < frames; ++f) {
        smoothLevel(levels.global, buses.globalVolume, step);
        smoothLevel(levels.music, buses.musicVolume, step);
        smoothLevel(levels.sfx, buses.sfxVolume, step);
        smoothLevel(levels.menu, buses.menuVolume, step);
        const uint32_t l = 2 * f;
        const uint32_t r = l + 1;
        const float left = bus[0][l] + bus[1][l] * levels.music + bus[2][l] * levels.sfx + bus[3][l] * levels.menu;
        const float right = bus[0][r] + bus[1][r] * levels.music + bus[2][r] * levels.sfx + bus[3][r] * levels.menu;

        limiter.attack(std::fmax(std::fabs(left), std::fabs(right)), rate);
        const float scale = limiter.limiterGain * levels.global;
        if constexpr (Written == 1) {
            const float s = (left + right) * 0.5f * scale;
            raiseMaxSample(limiter, std::fabs(s));
            out = writeSample(Format, out, clipSample(s));
        } else {
            const float scaledLeft = left * scale;
            const float scaledRight = right * scale;
            raiseMaxSample(limiter, std::fabs(scaledLeft));
            raiseMaxSample(limiter, std::fabs(scaledRight));
            out = writeSample(Format, out, clipSample(scaledLeft));
            out = writeSample(Format, out, clipSample(scaledRight));
        }
        out += extraBytes;  // already silent
        limiter.releaseStep();
    }
    buses.globalVolume.current.store(levels.global, relaxed);
    buses.musicVolume.current.store(levels.music, relaxed);
    buses.sfxVolume.current.store(levels.sfx, relaxed);
    buses.menuVolume.current.store(levels.menu, relaxed);
    return out;
}

template <SampleFormat Format>
uint8_t* writeFramesIn(MixerState& engine, const float* const (&bus)[4], uint32_t frames, uint8_t* out) {
    return engine.output.outputChannels.load(relaxed) == 1 ? writeFramesAs<Format, 1>(engine, bus, frames, out)
                                                           : writeFramesAs<Format, 2>(engine, bus, frames, out);
}

inline uint8_t* writeFrames(MixerState& engine, const float* const (&bus)[4], uint32_t frames, uint8_t* out) {
    switch (engine.output.outputFormat.load(relaxed)) {
        case SampleFormat::Pcm8: return writeFramesIn<SampleFormat::Pcm8>(engine, bus, frames, out);
        case SampleFormat::Pcm16: return writeFramesIn<SampleFormat::Pcm16>(engine, bus, frames, out);
        case SampleFormat::Pcm24Padded: return writeFramesIn<SampleFormat::Pcm24Padded>(engine, bus, frames, out);
        case SampleFormat::Pcm24Tight: return writeFramesIn<SampleFormat::Pcm24Tight>(engine, bus, frames, out);
        case SampleFormat::Pcm32: return writeFramesIn<SampleFormat::Pcm32>(engine, bus, frames, out);
        case SampleFormat::Float32: return writeFramesIn<SampleFormat::Float32>(engine, bus, frames, out);
    }
    return out;
}

// The clock a call's frames carry when it does not advance: a stopped clock
// stands where it stopped (stored before the marker, clock/clock_frame.h).
inline BlockClock heldClock(const Clock& clock, int64_t frame) {
    if (frame == kClockStopped) return BlockClock{false, false, clock.clockStoppedAt.load(std::memory_order_acquire)};
    return BlockClock{true, false, frame};
}

}  // namespace render_detail

// Voice by voice: each listed voice is mixed over the whole block into its
// bus's block buffer, in table order, so every frame's bus sums are formed
// from the same products added in the same order as a frame-by-frame mix.
// Then the buses are mixed, limited and written frame by frame.
template <class Seam>
RenderResult renderBufferWith(MixerState& engine, uint8_t* out, uint32_t frames, uint8_t** nextOut,
                              uint32_t* framesDone, BlockClock* clockUsed = nullptr) {
    using namespace render_detail;
    std::atomic<int64_t>& clockFrame = engine.clock.clockFrame;
    // Sequentially consistent: pairs with the main thread's store of the flag
    // before it reads renderActive (the pause handshake).
    if (engine.pause.audioPaused.load(std::memory_order_seq_cst)) {
        // Paused audio holds the clock where it stands.
        if (clockUsed != nullptr) *clockUsed = heldClock(engine.clock, clockFrame.load(std::memory_order_seq_cst));
        return RenderResult::Silent;
    }
    const bool gamePaused = engine.pause.gameAudioPaused.load(relaxed);
    int64_t c0 = clockFrame.load(std::memory_order_seq_cst);
    BlockClock clock{c0 != kClockStopped, c0 != kClockStopped && !gamePaused, c0};
    if (clockUsed != nullptr) *clockUsed = clock.runs ? clock : heldClock(engine.clock, c0);
    const uint32_t n = frames < kMaxRenderFrames ? frames : kMaxRenderFrames;

    SoundTable& table = engine.sounds;
    // The generation is read before the count: a sound added and then
    // played or scheduled raised the generation after it entered the table,
    // so a scan that saw the raise also sees the sound.
    const uint64_t generation = table.visitGeneration();
    const uint32_t soundCount = table.soundCount();
    if (soundCount == 0) {
        if (clock.advances) {
            int64_t advanced = 0;
            if (__builtin_add_overflow(c0, static_cast<int64_t>(frames), &advanced)) advanced = INT64_MAX - 1;
            clockFrame.compare_exchange_strong(c0, advanced, std::memory_order_acq_rel);
        }
        return RenderResult::Silent;
    }

    const OutputFormat& output = engine.output;
    const uint32_t rate = output.frameRate();
    MixerState::MixerMemory& memory = engine.mixer;
    uint16_t* const visits = memory.visits.data();
    uint32_t visitCount = 0;
    // Nothing asked since the last full scan: no request waits and no sound
    // got a start, so the sounds to visit are those visited last that still
    // play or wait for a start. Game pause scans every call (it snaps idle
    // sounds), and so does a clock that started or stopped since (an
    // unschedule waits for a running clock).
    if (memory.listed && generation == memory.listedGeneration && !gamePaused &&
        clock.runs == memory.clockRanWhenListed) {
        visitCount = keepVisiting(table, visits, memory.visitCount);
    } else {
        visitCount = listVisits<true>(table, soundCount, clock.runs, rate, gamePaused, visits);
        memory.listed = true;
        memory.listedGeneration = generation;
        memory.clockRanWhenListed = clock.runs;
    }
    Seam::reached(HandoffPoint::BlockListed);
    // A start event added since lists its sound too, in table order (and the
    // next call scans in full). One added while the voices below are mixed
    // waits for the next call (about a millisecond), and a start already due
    // then begins in phase.
    if (table.visitGeneration() != generation) {
        visitCount = listVisits<false>(table, table.soundCount(), clock.runs, rate, gamePaused, visits);
    }
    memory.visitCount = visitCount;

    const SampleFormat format = output.outputFormat.load(relaxed);
    const uint32_t channels = output.outputChannels.load(relaxed);
    if (channels > 2) std::memset(out, silenceByte(format), static_cast<size_t>(channels) * bytesPerSample(format) * n);

    // Only the buses that get a voice are cleared and summed into.
    float(&scratch)[4][kMaxRenderFrames * 2] = memory.buses;
    const float* bus[4] = {kSilentBus, kSilentBus, kSilentBus, kSilentBus};
    for (uint32_t v = 0; v < visitCount; ++v) {
        const uint32_t b = table.slot(visits[v])->bus;
        if (bus[b] == kSilentBus) {
            std::memset(scratch[b], 0, sizeof(float) * 2 * n);
            bus[b] = scratch[b];
        }
    }
    const VoiceBlock block{n, clock, rate, output.rampStep.load(relaxed), gamePaused};
    for (uint32_t v = 0; v < visitCount; ++v) {
        SoundRecord& record = *table.slot(visits[v]);
        mixVoiceBlock(record, block, scratch[record.bus]);
    }

    uint8_t* const end = writeFrames(engine, bus, n, out);
    // A start, stop or rate change during this call wins over its advance.
    clockFrame.compare_exchange_strong(c0, clock.at(n), std::memory_order_acq_rel);
    *nextOut = end;
    *framesDone = n;
    return RenderResult::Rendered;
}

}  // namespace cl
