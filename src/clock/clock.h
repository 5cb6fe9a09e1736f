#pragma once
// Starting, stopping and reading the engine clock.
#include <cstdint>

#include "clock/timing_state.h"

namespace cl {

void startClockFrom(TimingState& engine, double seconds);
void stopClock(TimingState& engine);
double getClock(TimingState& engine);
bool clockRunning(TimingState& engine);

// Seconds to clock frames at the output rate: truncated toward zero and
// saturated, with NaN giving 0. A frame's own time, as getClock reports it,
// gives that frame back.
int64_t secondsToFrames(double seconds, uint32_t frameRate);

}  // namespace cl
