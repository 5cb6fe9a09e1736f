#pragma once
// Scheduled starts (main thread side) and both kinds of pause.
#include <cstdint>
#include "sound/sound_state.h"

namespace cl {

void scheduleClock(SoundState& engine, uint32_t id, double startSeconds, double stopSeconds);
void unscheduleSound(SoundState& engine, uint32_t id);
bool pauseAudio(SoundState& engine);
void unpauseAudio(SoundState& engine);
void pauseGameAudio(SoundState& engine);
void unpauseGameAudio(SoundState& engine);

}  // namespace cl
