#pragma once
// Starting and stopping a sound's voice on the audio thread.
#include <cstdint>

namespace cl {

struct SoundRecord;

// Sets the voice to start `offsetFrames` frames after frame `seconds` x rate
// of the sound's data, playing to the end. A start at or past the end leaves
// the voice idle; a looping sound wraps instead.
void startVoiceAt(SoundRecord& record, double seconds, uint64_t offsetFrames, uint32_t outputRate);

// A due scheduled start: begins `lateFrames` into the data (a late start stays
// in phase) and stops `durationSeconds` after the scheduled start.
void startScheduledVoice(SoundRecord& record, uint64_t lateFrames, double durationSeconds, uint32_t outputRate);

// Sets the smoothed channel gains to their targets (no ramp).
void snapGains(SoundRecord& record);

// Idles the voice; its smoothed gains snap to their targets.
void idleVoice(SoundRecord& record);

// Pops and starts every event of the sound due at clock frame `clock`,
// swapping in the pending queue when it holds the earliest one. Never waits:
// the queue lock is tried once.
void fireDueStartEvents(SoundRecord& record, int64_t clock, uint32_t outputRate);

}  // namespace cl
