#pragma once
// Loading sounds from float samples, the refusing decoder entry points, and
// unloading.
#include <cstdint>

namespace cl {

struct Engine;

int32_t loadFloat(Engine& engine, const float* pData, uint32_t sampleTotal, uint32_t channels, uint32_t frequency,
                  uint32_t bus, float speed, float semitones, bool runtimeSpeed, const char* name);
int32_t loadSegment(Engine& engine, const void* pData, const char* filename, uint32_t bus, float speed, float semitones,
                    bool runtimeSpeed, float durationSeconds);
int32_t loadBytes(Engine& engine);
int32_t decode(Engine& engine);
void unloadSound(Engine& engine, uint32_t id);

}  // namespace cl
