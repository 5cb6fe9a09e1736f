#pragma once
// The device's own timing: how long a released frame waits inside the device
// before it plays (its stream latency), and where in the stream it is
// playing (its clock), read by the audio thread at each wake.
#include <cstdint>

#include "audio/wasapi_state.h"
#include "core/realtime.h"

namespace cl {

class Logger;

// Once the client is open (main thread, before the audio thread exists):
// records the stream latency in frames at `rate` in state.figures and takes
// the clock. Neither is needed to play: a device without them plays with a
// stream latency of 0 or without position reports, each said in one line
// (level 1).
void openDeviceClock(Logger& log, WasapiState& state, uint32_t rate);

// Frames at `rate` in a clock position of `frequency` units a second,
// truncated; exact for every position (no intermediate overflow).
uint64_t positionFrames(uint64_t position, uint64_t frequency, uint32_t rate);

// The clock's performance-counter time (100-ns units) in counter ticks
// (platform/counter.h) at `ticksPerSecond`; exact, no intermediate overflow.
int64_t qpcTimeTicks(uint64_t qpcTime, int64_t ticksPerSecond);

// Audio thread, at each wake once the stream started: tells the host where
// the device is. A failing read skips the report; the first of a run of
// failures is logged (level 2), like a failing step.
CL_REALTIME void reportDevicePosition(ProviderHost& host, WasapiState& state);

}  // namespace cl
