#pragma once
// Per-sound mixing parameters and the four bus volumes. Setters store
// targets; the mixer ramps every level change over at most 16.7 ms.
#include <cstdint>
#include "mixer/mixer_state.h"

namespace cl {

enum class VoiceParam { Gain, Volume, Fade, Pan, Speed, Semitones };
enum class Bus { Global, Music, Sfx, Menu };

// Gain in dB; volume and fade clamped to [0, 1]; pan to [-1, 1]. NaN is refused.
void setVoiceParam(MixerState& engine, uint32_t id, VoiceParam param, float value);
float getVoiceParam(MixerState& engine, uint32_t id, VoiceParam param);
void setLoop(MixerState& engine, uint32_t id, bool loop);
bool getLoop(MixerState& engine, uint32_t id);
// Main thread only; refused for every sound of this build.
void setSpeedOrPitch(MixerState& engine, uint32_t id, VoiceParam param, float value);

void setBusVolume(MixerState& engine, Bus bus, float volume);
float getBusVolume(MixerState& engine, Bus bus);

}  // namespace cl
