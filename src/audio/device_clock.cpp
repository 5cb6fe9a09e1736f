#include "audio/device_clock.h"

#include "audio/client_open.h"
#include "core/log.h"
#include "platform/audio_results.h"
#include "platform/counter.h"

namespace cl {

void openDeviceClock(Logger& log, WasapiState& state, uint32_t rate) {
    int64_t latency = 0;
    if (const int32_t result = state.audioClient->GetStreamLatency(&latency); platform::failed(result)) {
        log.message(1, "[CL] [tid=%4x] The device reports no stream latency: %#x\n", tid(),
                    static_cast<unsigned>(result));
        latency = 0;
    }
    state.figures.streamLatencyFrames = durationFrames(rate, latency);

    uint64_t frequency = 0;
    int32_t result = state.audioClient->GetService(&state.audioClock);
    if (!platform::failed(result)) result = state.audioClock->GetFrequency(&frequency);
    // A clock without a rate cannot be turned into frames.
    if (!platform::failed(result) && frequency == 0) result = platform::kFail;
    if (platform::failed(result)) {
        log.message(1, "[CL] [tid=%4x] The device reports no playing position: %#x\n", tid(),
                    static_cast<unsigned>(result));
        state.audioClock.reset();
        frequency = 0;
    }
    state.clockFrequency = frequency;
    state.counterFrequency = platform::counterFrequency();
}

uint64_t positionFrames(uint64_t position, uint64_t frequency, uint32_t rate) {
    if (frequency == 0) return 0;
    return static_cast<uint64_t>(static_cast<unsigned __int128>(position) * rate / frequency);
}

int64_t qpcTimeTicks(uint64_t qpcTime, int64_t ticksPerSecond) {
    constexpr unsigned __int128 kUnitsPerSecond = 10'000'000;
    const unsigned __int128 ticks =
        static_cast<unsigned __int128>(qpcTime) * static_cast<uint64_t>(ticksPerSecond) / kUnitsPerSecond;
    return ticks > INT64_MAX ? INT64_MAX : static_cast<int64_t>(ticks);
}

CL_REALTIME void reportDevicePosition(ProviderHost& host, WasapiState& state) {
    if (!state.audioClock) return;
    Logger& log = host.logger();
    uint64_t position = 0;
    uint64_t qpcTime = 0;
    if (const int32_t result = state.audioClock->GetPosition(&position, &qpcTime); platform::failed(result)) {
        if (!state.positionFailing) {
            log.message(2, "[CL] [tid=%4x] Failed to read the device position: %#x\n", tid(),
                        static_cast<unsigned>(result));
        }
        state.positionFailing = true;
        return;
    }
    state.positionFailing = false;
    const uint64_t frame = positionFrames(position, state.clockFrequency, state.figures.frameRate);
    if (frame <= INT64_MAX)
        host.devicePlayedAt(static_cast<int64_t>(frame), qpcTimeTicks(qpcTime, state.counterFrequency));
}

}  // namespace cl
