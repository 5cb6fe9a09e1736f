#pragma once
// Prepares a sound's samples for the output: stereo floats at the rate that
// plays one sample frame per output frame, speed and pitch baked in.
#include <cstdint>

namespace cl {

struct Engine;
struct SoundRecord;

// Fills a new record (not yet in the table) from validated load arguments.
// Throws std::runtime_error("Pointer was null") when the samples cannot be
// allocated and passes on a failure of the provider's resampler; the caller
// frees the record.
void initSoundRecord(Engine& engine, SoundRecord& record, const float* samples, uint32_t sampleCount, uint32_t channels,
                     uint32_t frameRate, uint32_t bus, float speed, float semitones, uint8_t runtimeSpeed,
                     const char* name);

// Brings the record's samples to the rate needed for outputRate, starting
// from its source samples, and keeps a playing voice at the same point.
// Never runs while the mixer renders. If the provider's resampler fails the
// record is left consistent on its source samples and the error is rethrown.
void convertSound(Engine& engine, SoundRecord& record, uint32_t outputRate);

}  // namespace cl
