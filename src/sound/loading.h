#pragma once
// Loading sounds from float samples, the refusing decoder entry points, and
// unloading.
#include <cstdint>
#include "sound/sound_state.h"

namespace cl {

int32_t loadFloat(SoundState& engine, const float* pData, uint32_t sampleTotal, uint32_t channels, uint32_t frequency,
                  uint32_t bus, float speed, float semitones, bool runtimeSpeed, const char* name);
int32_t loadSegment(SoundState& engine, const void* pData, const char* filename, uint32_t bus, float speed,
                    float semitones, bool runtimeSpeed, float durationSeconds);
int32_t loadBytes(SoundState& engine);
int32_t decode(SoundState& engine);
void unloadSound(SoundState& engine, uint32_t id);

}  // namespace cl
