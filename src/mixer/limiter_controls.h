#pragma once
// The game's side of the limiter: settings and meter reads.
namespace cl {
struct Engine;

void setLimiterThreshold(Engine& engine, float decibels);    // above 0 dB becomes 0; NaN refused
void setLimiterRelease(Engine& engine, float milliseconds);  // below 0 becomes 0; NaN refused
float takeLimiterScale(Engine& engine);                      // lowest gain since the last call; resets to 1
float takeMaxSample(Engine& engine);                         // largest |sample| since the last call; resets to 0

}  // namespace cl
