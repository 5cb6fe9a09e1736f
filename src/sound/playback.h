#pragma once
// The game's playback requests and queries. Requests are left in the sound
// record; the mixer takes them over at the start of its next block.
#include <cstdint>
#include "sound/sound_state.h"

namespace cl {

void playFrom(SoundState& engine, uint32_t id, double seconds);
void stopSound(SoundState& engine, uint32_t id);
double getPosition(SoundState& engine, uint32_t id);
double getLength(SoundState& engine, uint32_t id);
int32_t isPlaying(SoundState& engine, uint32_t id);
void setPosition(SoundState& engine, uint32_t id, double seconds);

}  // namespace cl
