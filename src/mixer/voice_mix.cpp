#include "mixer/voice_mix.h"

#include <algorithm>
#include <atomic>

#include "mixer/audio_handoff.h"
#include "mixer/mix_kernel.h"
#include "mixer/smoothing.h"

namespace cl {
namespace {

constexpr std::memory_order relaxed = std::memory_order_relaxed;

// The voice's state for one stretch of the block, in locals; written back
// to the record before anything else (a scheduled start) may change it.
struct VoiceState {
    float* pos;
    float* end;
    float currentLeft;
    float currentRight;
    uint64_t framesUntilStop;
};

struct VoiceConstants {
    float* data;
    float* dataEnd;
    float targetLeft;
    float targetRight;
    bool loop;
    float step;
};

// After the voice advanced: its scheduled stop, then its end (wrap or
// idle). Returns false once the voice is idle.
bool afterAdvance(VoiceState& voice, const VoiceConstants& constants, uint64_t advanced) {
    if (voice.framesUntilStop != kNoStop) {
        voice.framesUntilStop -= advanced;
        if (voice.framesUntilStop == 0) return false;  // a looping voice reached its scheduled stop
    }
    if (voice.pos >= voice.end) {
        // A voice cut short by a scheduled stop ends there even when looping.
        if (voice.end < constants.dataEnd || !constants.loop) return false;
        voice.pos = constants.data;
        voice.end = constants.dataEnd;
    }
    return true;
}

// Mixes frames [from, to) of the voice; returns false if it went idle.
bool mixStretch(VoiceState& voice, const VoiceConstants& constants, float* bus, uint32_t from, uint32_t to) {
    uint32_t f = from;
    while (f < to) {
        if (voice.currentLeft != constants.targetLeft || voice.currentRight != constants.targetRight) {
            // Ramping: one frame at a time, exactly as the levels move.
            if (voice.currentLeft != constants.targetLeft) {
                voice.currentLeft = smoothToward(voice.currentLeft, constants.targetLeft, constants.step);
            }
            if (voice.currentRight != constants.targetRight) {
                voice.currentRight = smoothToward(voice.currentRight, constants.targetRight, constants.step);
            }
            bus[2 * f] += voice.currentLeft * voice.pos[0];
            bus[2 * f + 1] += voice.currentRight * voice.pos[1];
            voice.pos += 2;
            ++f;
            if (!afterAdvance(voice, constants, 1)) return false;
            continue;
        }
        // Steady: as many frames as the block, the data and the scheduled
        // stop allow, in one kernel call.
        uint64_t run = std::min<uint64_t>(to - f, std::max<uint64_t>((voice.end - voice.pos) / 2, 1));
        if (voice.framesUntilStop != kNoStop) run = std::min(run, voice.framesUntilStop);
        const auto frames = static_cast<uint32_t>(run);
        mixSteady(bus + 2 * f, voice.pos, frames, voice.currentLeft, voice.currentRight);
        voice.pos += 2 * static_cast<size_t>(frames);
        f += frames;
        if (!afterAdvance(voice, constants, frames)) return false;
    }
    return true;
}

// Mixes the playing voice over [from, to), through the record's atomics at
// both ends of the stretch.
void mixPlayingStretch(SoundRecord& record, const VoiceConstants& constants, float* bus, uint32_t from, uint32_t to) {
    VoiceState voice{record.playPos.load(relaxed), record.playEnd.load(relaxed), record.currentLeft.load(relaxed),
                     record.currentRight.load(relaxed), record.framesUntilStop};
    const bool playing = mixStretch(voice, constants, bus, from, to);
    record.framesUntilStop = voice.framesUntilStop;
    if (!playing) {
        idleVoice(record);
        return;
    }
    record.playPos.store(voice.pos, relaxed);
    record.playEnd.store(voice.end, relaxed);
    record.currentLeft.store(voice.currentLeft, relaxed);
    record.currentRight.store(voice.currentRight, relaxed);
}

bool hasScheduledStarts(const SoundRecord& record) {
    return record.activeHead.load(relaxed) != kNoEvent || record.pendingHead.load(relaxed) != kNoEvent;
}

}  // namespace

void mixVoiceBlock(SoundRecord& record, const VoiceBlock& block, float* bus) {
    const VoiceConstants constants{record.data.load(relaxed),       record.dataEnd.load(relaxed),
                                   record.targetLeft.load(relaxed), record.targetRight.load(relaxed),
                                   record.loop.load(relaxed) != 0,  block.rampStep};
    const bool frozen = block.gamePaused && record.bus != 3;
    uint32_t f = 0;
    while (f < block.frames) {
        // Scheduled starts come first, so an event due at frame f sounds in it.
        uint32_t nextStart = block.frames;
        if (block.clock.runs && hasScheduledStarts(record)) {
            fireDueStartEvents(record, block.clock.at(f), block.outputRate);
            const int64_t head = std::min(record.activeQueue->head(), record.pendingHead.load(relaxed));
            if (head != kNoEvent) nextStart = block.clock.firstFrameReaching(head, f + 1, block.frames);
        }
        if (frozen) {
            snapGains(record);  // held in place; resumes without a ramp
        } else if (record.playPos.load(relaxed) != nullptr) {
            mixPlayingStretch(record, constants, bus, f, nextStart);
        }
        f = nextStart;
    }
}

}  // namespace cl
