#pragma once
// Scheduled starts (main thread side), both kinds of pause, and tick.
#include <cstdint>

namespace cl {

struct Engine;

void scheduleClock(Engine& engine, uint32_t id, double startSeconds, double stopSeconds);
void unscheduleSound(Engine& engine, uint32_t id);
bool pauseAudio(Engine& engine);
void unpauseAudio(Engine& engine);
void pauseGameAudio(Engine& engine);
void unpauseGameAudio(Engine& engine);
void tick(Engine& engine);

}  // namespace cl
