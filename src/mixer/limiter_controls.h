#pragma once
#include "mixer/mixer_state.h"
// The game's side of the limiter: settings and meter reads.
namespace cl {

void setLimiterThreshold(MixerState& engine, float decibels);    // above 0 dB becomes 0; NaN refused
void setLimiterRelease(MixerState& engine, float milliseconds);  // below 0 becomes 0; NaN refused
float takeLimiterScale(MixerState& engine);                      // lowest gain since the last call; resets to 1
float takeMaxSample(MixerState& engine);                         // largest |sample| since the last call; resets to 0

}  // namespace cl
