#include "audio/audio_thread.h"

#include "audio/device_clock.h"
#include "platform/audio_results.h"
#include "platform/counter.h"

namespace cl {
namespace {

// The thread keeps running whatever priority it gets: an output that Init
// reported open must not fall silent because the scheduler said no.
void raisePriority(const AudioThreadContext& context) {
    Logger& log = context.host.logger();
    if (context.state.useMmcss) {
        const uint32_t error = context.platform.joinProAudioTask();
        if (error == 0) return;
        log.message(2, "[CL] [tid=%4x] Failed to join the Pro Audio task: %#x; using time-critical priority\n", tid(),
                    error);
    }
    const uint32_t error = context.platform.raiseToTimeCritical();
    if (error == 0) return;
    log.message(2, "[CL] [tid=%4x] Failed to raise the audio thread priority: %#x; running at normal priority\n", tid(),
                error);
}

bool keepRunning(const WasapiState& state) { return state.running.load(std::memory_order_acquire) != 0; }

// Results after which this client never plays again: the endpoint went away,
// its resources were taken, or the audio service stopped. Whichever of the
// three calls of a step sees one first, the game has to reopen the output,
// and what the player hears stops where the device stopped.
CL_REALTIME void noteLostDevice(const AudioThreadContext& context, int32_t result) {
    if (result == platform::kDeviceInvalidated || result == platform::kResourcesInvalidated ||
        result == platform::kServiceNotRunning) {
        context.state.deviceLost.store(1, std::memory_order_relaxed);
        context.host.deviceLostAt(platform::counterNow());
    }
}

// The first failure of a run of failing steps is logged; the next step
// that fails nothing ends the run.
CL_REALTIME void failStep(const AudioThreadContext& context, int check, int32_t result) {
    WasapiState& state = context.state;
    noteLostDevice(context, result);
    if (!state.stepFailing) logCheckFailure(context.host.logger(), check, result);
    state.stepFailing = true;
}

}  // namespace

void audioThreadMain(const AudioThreadContext& context) {
    WasapiState& state = context.state;
    state.stepFailing = false;  // a reopened output reports its own first failures
    state.positionFailing = false;
    state.playing = false;
    state.framesWritten = 0;
    raisePriority(context);
    renderStep(context);  // the buffer holds fillTarget frames before the stream starts
    if (const int32_t result = state.audioClient->Start(); platform::failed(result)) {
        logCheckFailure(context.host.logger(), 1404, result);
        // Nothing will play: tell the game to reopen rather than leave it
        // with an output that looks open.
        state.deviceLost.store(1, std::memory_order_relaxed);
        return;
    }
    state.playing = true;
    while (keepRunning(state)) {
        // A time-out counts as a tick: the wait is bounded at 1 ms either way.
        if (state.sleepPolling) {
            context.platform.sleep(1);
        } else {
            context.platform.waitForTimer(*state.timerEvent, 1);
        }
        reportDevicePosition(context.host, state);
        renderStep(context);
    }
}

CL_REALTIME void renderStep(const AudioThreadContext& context) {
    WasapiState& state = context.state;
    uint32_t padding = 0;
    if (const int32_t result = state.audioClient->GetCurrentPadding(&padding); platform::failed(result)) {
        failStep(context, 1465, result);
        return;
    }
    // The device played everything it had: it ran dry since the last wake.
    // The fill before Start finds the buffer empty too, but nothing played.
    if (padding == 0 && state.playing) state.underruns.fetch_add(1, std::memory_order_relaxed);
    // A device without a clock still says how much it has left to play.
    if (!state.audioClock && state.playing && padding <= state.framesWritten) {
        context.host.devicePlayedAt(static_cast<int64_t>(state.framesWritten - padding), platform::counterNow());
    }
    // The buffer never holds more than fillTarget frames of ours; a larger
    // padding would wrap the subtraction into a request for billions.
    if (padding >= state.fillTarget) {
        state.stepFailing = false;
        return;
    }
    const uint32_t frames = state.fillTarget - padding;

    uint8_t* out = nullptr;
    if (const int32_t result = state.renderClient->GetBuffer(frames, &out); platform::failed(result)) {
        failStep(context, 1475, result);
        return;
    }
    const uint32_t flags = context.host.renderPeriod(out, frames, static_cast<int64_t>(state.framesWritten));
    if (const int32_t result = state.renderClient->ReleaseBuffer(frames, flags); platform::failed(result)) {
        failStep(context, 1480, result);
        return;
    }
    state.framesWritten += frames;
    state.stepFailing = false;
}

}  // namespace cl
