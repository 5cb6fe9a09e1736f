#include "audio/client_open.h"

#include <algorithm>
#include <cmath>

#include "core/float_convert.h"
#include "core/log.h"
#include "platform/audio_results.h"

namespace cl {
namespace {

constexpr int kMaxOpenAttempts = 10;

// Opens with `attempt` until it answers something other than `retryCode`,
// at most ten times, waiting 0, 1, ... 9 ms after each refusal.
template <class Attempt>
int32_t openWithRetries(Logger& log, platform::AudioPlatform& platform, int32_t retryCode, const char* warning,
                        Attempt attempt) {
    int32_t result = attempt();
    for (int wait = 0; result == retryCode;) {
        log.message(2, warning, tid(), static_cast<unsigned>(result), wait);
        if (wait > 0) platform.sleep(static_cast<uint32_t>(wait));
        if (++wait >= kMaxOpenAttempts) break;
        result = attempt();
    }
    return result;
}

bool openLowLatencyShared(Logger& log, platform::AudioPlatform& platform, WasapiState& state,
                          const platform::WaveFormat& format, const ClientRequest& request,
                          const platform::EnginePeriods& periods, ClientDefaults* defaults) {
    const uint32_t rate = format.samplesPerSec;
    defaults->sharedMs = static_cast<float>(periods.minimum) * 1000.0f / static_cast<float>(rate);
    uint32_t period = requestedEnginePeriod(rate, request.bufferMs, periods, request.strictBufferSize);
    platform::AudioClient& client = *state.audioClient;

    int32_t result = openWithRetries(
        log, platform, platform::kIoDeviceError,
        "[CL] [tid=%4x] Attempting to open client returned %#x (I/O device error); waiting %dms and retrying\n",
        [&] { return client.InitializeSharedAudioStream(period, format); });
    if (result == platform::kEnginePeriodicityLocked) {
        log.message(3, "[CL] [tid=%4x] Another program has locked the engine period\n", tid());
        if (request.bufferMs != 0.0f && request.strictBufferSize) {
            logCheckFailure(log, 1153, result);
            return false;
        }
        log.message(2, "[CL] [tid=%4x] Retrying with current period\n", tid());
        uint32_t current = 0;
        if (const int32_t periodResult = client.GetCurrentSharedModeEnginePeriod(&current);
            platform::failed(periodResult)) {
            logCheckFailure(log, 1142, periodResult);
            return false;
        }
        log.message(1, "[CL] [tid=%4x] Current period is %u frames\n", tid(), current);
        period = current;
        result = client.InitializeSharedAudioStream(period, format);
    }
    if (platform::failed(result)) {
        logCheckFailure(log, 1153, result);
        return false;
    }
    state.fillTarget = period;
    state.figures.devicePeriodFrames = period;  // the engine's period is the stream's
    return true;
}

bool openClassic(Logger& log, platform::AudioPlatform& platform, WasapiState& state, const platform::WaveFormat& format,
                 const ClientRequest& request, int64_t defaultPeriod, int64_t exclusiveDefault,
                 ClientDefaults* defaults) {
    const int64_t duration =
        classicBufferDuration(request.bufferMs, request.exclusive, exclusiveDefault, defaultPeriod);
    platform::AudioClient& client = *state.audioClient;
    auto open = [&] { return client.Initialize(request.exclusive, duration, format); };
    // Only an exclusive open can find the device in use by another program.
    const int32_t result =
        request.exclusive
            ? openWithRetries(
                  log, platform, platform::kDeviceInUse,
                  "[CL] [tid=%4x] Attempting to open client returned %#x (device in use); waiting %dms and retrying\n",
                  open)
            : open();
    if (platform::failed(result)) {
        logCheckFailure(log, 1057, result);
        return false;
    }
    defaults->sharedMs = static_cast<float>(defaultPeriod) / 10000.0f;
    state.fillTarget = durationFrames(format.samplesPerSec, duration);
    // Opened with periodicity 0, the device runs at its default period in
    // either mode.
    state.figures.devicePeriodFrames = durationFrames(format.samplesPerSec, defaultPeriod);
    return true;
}

}  // namespace

int64_t exclusiveDefaultDuration(int64_t minimumPeriod, uint32_t timerPeriodMin) {
    int64_t duration = minimumPeriod + 5000;
    if (timerPeriodMin != 1) duration += (static_cast<int64_t>(timerPeriodMin) - 1) * 10000;
    return duration;
}

uint32_t requestedEnginePeriod(uint32_t rate, float bufferMs, const platform::EnginePeriods& periods, bool strict) {
    if (bufferMs == 0.0f) return periods.minimum;
    // In 64 bits and with a fundamental of at least one frame, so that a
    // huge request or a device reporting 0 cannot overflow or divide by zero.
    const int64_t frames = saturatingTruncate<int32_t>(static_cast<float>(rate) * bufferMs / 1000.0f);
    const int64_t fundamental = std::max<int64_t>(periods.fundamental, 1);
    const int64_t rounded = (frames - 1 + fundamental) / fundamental * fundamental;
    uint32_t period = static_cast<uint32_t>(std::clamp<int64_t>(rounded, 0, UINT32_MAX));
    if (!strict) {
        if (period < periods.minimum) period = periods.minimum;
        if (period > periods.maximum) period = periods.maximum;
    }
    return period;
}

int64_t classicBufferDuration(float bufferMs, bool exclusive, int64_t exclusiveDefault, int64_t defaultPeriod) {
    if (bufferMs != 0.0f) return saturatingTruncate<int32_t>(std::round(static_cast<double>(bufferMs) * 10000.0));
    return exclusive ? exclusiveDefault : defaultPeriod;
}

uint32_t durationFrames(uint32_t rate, int64_t duration) {
    if (duration <= 0) return 0;
    const uint64_t frames = static_cast<uint64_t>(rate) * static_cast<uint64_t>(duration) / 10000000u;
    return static_cast<uint32_t>(std::min<uint64_t>(frames, UINT32_MAX));
}

bool openClient(Logger& log, platform::AudioPlatform& platform, WasapiState& state, const platform::WaveFormat& format,
                const ClientRequest& request, ClientDefaults* defaults) {
    platform::AudioClient& client = *state.audioClient;
    int64_t defaultPeriod = 0;
    int64_t minimumPeriod = 0;
    if (const int32_t result = client.GetDevicePeriod(&defaultPeriod, &minimumPeriod); platform::failed(result)) {
        logCheckFailure(log, 992, result);
        return false;
    }
    const int64_t exclusiveDefault = exclusiveDefaultDuration(minimumPeriod, request.timerPeriodMin);
    defaults->exclusiveMs = static_cast<float>(exclusiveDefault) / 10000.0f;

    bool classic = request.exclusive || !state.hasClient3;
    if (!classic) {
        log.message(1, "[CL] [tid=%4x] Using low latency shared mode\n", tid());
        platform::EnginePeriods periods;
        const int32_t result = client.GetSharedModeEnginePeriod(format, &periods);
        if (result == platform::kNotImplemented) {
            // Some endpoints (Wine's among them) hand out IAudioClient3 but
            // implement none of its engine-period calls.
            log.message(2, "[CL] [tid=%4x] Low latency shared mode is not implemented; using classic shared mode\n",
                        tid());
            classic = true;
        } else if (platform::failed(result)) {
            logCheckFailure(log, 1073, result);
            return false;
        } else {
            if (!openLowLatencyShared(log, platform, state, format, request, periods, defaults)) return false;
        }
    }
    if (classic && !openClassic(log, platform, state, format, request, defaultPeriod, exclusiveDefault, defaults)) {
        return false;
    }

    uint32_t bufferFrames = 0;
    if (const int32_t result = client.GetBufferSize(&bufferFrames); platform::failed(result)) {
        logCheckFailure(log, 1164, result);
        return false;
    }
    if (!request.strictBufferSize || state.fillTarget > bufferFrames) state.fillTarget = bufferFrames;
    state.figures.exclusive = request.exclusive;
    state.figures.bufferFrames = bufferFrames;
    state.figures.fillTargetFrames = state.fillTarget;
    if (const int32_t result = client.GetService(&state.renderClient); platform::failed(result)) {
        logCheckFailure(log, 1182, result);
        return false;
    }
    return true;
}

}  // namespace cl
