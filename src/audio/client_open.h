#pragma once
// Opening the audio client in the chosen format: the buffer or engine period
// the game asked for, the two ways to open, the retries of a busy or failing
// device, and how far the audio thread keeps the buffer filled.
#include <cstdint>

#include "audio/wasapi_state.h"
#include "platform/audio_services.h"

namespace cl {

class Logger;

struct ClientRequest {
    bool exclusive = false;
    float bufferMs = 0.0f;  // 0: the default
    bool strictBufferSize = false;
    uint32_t timerPeriodMin = 1;  // the multimedia timer's finest period, ms
};

struct ClientDefaults {
    float sharedMs = 0.0f;
    float exclusiveMs = 0.0f;
};

// Durations are in 100-ns units, periods in frames.

// The device's minimum period plus half a millisecond plus the timer's
// coarseness beyond 1 ms.
int64_t exclusiveDefaultDuration(int64_t minimumPeriod, uint32_t timerPeriodMin);

// The shared engine period for a request of bufferMs (0: the minimum),
// rounded up to whole fundamental periods and, unless strict, kept within
// the engine's range.
uint32_t requestedEnginePeriod(uint32_t rate, float bufferMs, const platform::EnginePeriods& periods, bool strict);

// The classic open's buffer duration: bufferMs when given, else the
// exclusive default or the device's default period.
int64_t classicBufferDuration(float bufferMs, bool exclusive, int64_t exclusiveDefault, int64_t defaultPeriod);

// Frames in a duration at `rate`, truncated.
uint32_t durationFrames(uint32_t rate, int64_t duration);

// Opens state.audioClient, sets state.fillTarget and state.renderClient,
// records the mode, period, buffer and fill target in state.figures and
// reports the default buffer lengths. False after logging the failing check.
bool openClient(Logger& log, platform::AudioPlatform& platform, WasapiState& state, const platform::WaveFormat& format,
                const ClientRequest& request, ClientDefaults* defaults);

}  // namespace cl
