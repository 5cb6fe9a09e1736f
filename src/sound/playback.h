#pragma once
// The game's playback requests and queries. Requests are left in the sound
// record; the mixer takes them over at the start of its next block.
#include <cstdint>

namespace cl {

struct Engine;

void playFrom(Engine& engine, uint32_t id, double seconds);
void stopSound(Engine& engine, uint32_t id);
double getPosition(Engine& engine, uint32_t id);
double getLength(Engine& engine, uint32_t id);
int32_t isPlaying(Engine& engine, uint32_t id);
void setPosition(Engine& engine, uint32_t id, double seconds);

}  // namespace cl
