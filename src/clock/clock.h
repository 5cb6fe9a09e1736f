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

// The time from a start on startFrame (startSeconds converted) to a stop at
// stopSeconds, as a whole number of frames' time: each end lands on a frame
// the way secondsToFrames lands it, so a stop at a frame's own time stops on
// that frame. Subtracting the two times instead loses the frame about half
// the time. Infinity (no stop) stays; without a rate, the plain difference.
double scheduledDuration(double startSeconds, int64_t startFrame, double stopSeconds, uint32_t frameRate);

}  // namespace cl
