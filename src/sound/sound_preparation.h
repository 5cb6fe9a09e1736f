#pragma once
// Prepares a sound's samples for the output: stereo floats at the rate that
// plays one sample frame per output frame, speed and pitch baked in.
#include <cstdint>
#include "sound/sound_state.h"

namespace cl {

struct SoundRecord;

// The rate factor a load bakes in, speed x 2^(semitones/12), is kept within
// these bounds: a factor of 1/1024 makes a sound 1024 times longer, one
// beyond makes a single load cost seconds and gigabytes. Loads outside are
// refused before anything is allocated.
inline constexpr double kMinRateFactor = 1.0 / 1024.0;
inline constexpr double kMaxRateFactor = 1024.0;

// speed x 2^(semitones/12) for a speed above 0 (infinity included) and
// finite semitones. Computed in double through the logarithm, so it is
// never NaN (an infinite speed with a factor 2^-2000 gives infinity, not
// inf x 0): from 0 to infinity, exact for powers of two.
double rateFactor(float speed, float semitones);

// The most frames a converted sound may hold: its samples, with the one
// frame of headroom the resampler asks for, are counted in 32 bits.
inline constexpr uint64_t kMaxPreparedFrames = UINT32_MAX / 2 - 1;

// Fills a new record (not yet in the table) from validated load arguments.
// Throws std::runtime_error with the reason when the sound would not fit
// once prepared, or would hold no frames although it has some (both decided
// from the rates before anything is allocated or converted), "Pointer was
// null" when the samples cannot be allocated, and passes on a failure of
// the provider's resampler; the caller frees the record.
void initSoundRecord(SoundState& engine, SoundRecord& record, const float* samples, uint32_t sampleCount,
                     uint32_t channels, uint32_t frameRate, uint32_t bus, float speed, float semitones,
                     uint8_t runtimeSpeed, const char* name);

// Brings the record's samples to the rate needed for outputRate, starting
// from its source samples, and keeps a playing voice at the same point.
// Never runs while the mixer renders. If the converted sound would not fit
// or would hold no frames (decided before converting), or the provider's
// resampler fails, the record is left consistent on its source samples and
// the error is (re)thrown.
void convertSound(SoundState& engine, SoundRecord& record, uint32_t outputRate);

}  // namespace cl
