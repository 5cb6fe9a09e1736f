#pragma once
// Per-sound mixing parameters and the four bus volumes. Setters store
// targets; the mixer ramps every level change over at most 16.7 ms.
#include <cstdint>

namespace cl {

struct Engine;

enum class VoiceParam { Gain, Volume, Fade, Pan, Speed, Semitones };
enum class Bus { Global, Music, Sfx, Menu };

// Gain in dB; volume and fade clamped to [0, 1]; pan to [-1, 1]. NaN is refused.
void setVoiceParam(Engine& engine, uint32_t id, VoiceParam param, float value);
float getVoiceParam(Engine& engine, uint32_t id, VoiceParam param);
void setLoop(Engine& engine, uint32_t id, bool loop);
bool getLoop(Engine& engine, uint32_t id);
// Main thread only; refused for every sound of this build.
void setSpeedOrPitch(Engine& engine, uint32_t id, VoiceParam param, float value);

void setBusVolume(Engine& engine, Bus bus, float volume);
float getBusVolume(Engine& engine, Bus bus);

}  // namespace cl
