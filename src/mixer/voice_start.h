#pragma once
// Starting and stopping a sound's voice on the audio thread.
// (The hand-off that decides when is in mixer/audio_handoff.h.)
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

// Swaps the queues if the pending one holds the earliest event, first
// honouring an unschedule raised under the queue lock. Never waits: the lock
// is tried once, and a busy lock leaves the queues for the next frame.
void swapInEarlierPendingQueue(SoundRecord& record);

// Pops the due event on top of the active queue and starts the voice for it.
// Precondition: the active queue's head is at or before `clock`.
void fireStartEvent(SoundRecord& record, int64_t clock, uint32_t outputRate);

}  // namespace cl
