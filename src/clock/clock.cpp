#include "clock/clock.h"

#include <cmath>

#include "clock/render_handshake.h"
#include "clock/timing_state.h"
#include "core/float_convert.h"

namespace cl {
namespace {

// While audio is open the clock belongs to the main thread; before that any
// thread may set it.
bool mayChangeClock(TimingState& engine) {
    return !engine.audio.audioInitialised.load(std::memory_order_relaxed) || engine.isMainThread();
}

}  // namespace

int64_t secondsToFrames(double seconds, uint32_t frameRate) {
    const double rate = static_cast<double>(frameRate);
    const int64_t frame = saturatingTruncate<int64_t>(seconds * rate);
    // The product rounds, so frame / rate computed as getClock does, times the
    // rate, can fall a hair below the frame and truncate to the one before
    // (0.29 s at 48000 gave 13919). The answer is the frame furthest from
    // zero whose own time does not pass the given one; the product is within
    // one frame of it wherever frames are exact in a double.
    constexpr int64_t kExact = int64_t{1} << 52;
    if (frameRate == 0 || frame <= -kExact || frame >= kExact) return frame;
    const auto timeOf = [rate](int64_t f) { return static_cast<double>(f) / rate; };
    if (seconds >= 0) {
        if (timeOf(frame + 1) <= seconds) return frame + 1;
        if (frame > 0 && timeOf(frame) > seconds) return frame - 1;
    } else {
        if (timeOf(frame - 1) >= seconds) return frame - 1;
        if (frame < 0 && timeOf(frame) < seconds) return frame + 1;
    }
    return frame;
}

double scheduledDuration(double startSeconds, int64_t startFrame, double stopSeconds, uint32_t frameRate) {
    if (frameRate == 0 || std::isinf(stopSeconds)) return stopSeconds - startSeconds;
    const double frames =
        static_cast<double>(secondsToFrames(stopSeconds, frameRate)) - static_cast<double>(startFrame);
    return frames > 0 ? frames / frameRate : 0.0;
}

void startClockFrom(TimingState& engine, double seconds) {
    if (!mayChangeClock(engine)) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to start clock (must be started on the main thread)\n", tid());
        return;
    }
    if (!std::isfinite(seconds)) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to start clock (clock time must be finite)\n", tid());
        return;
    }
    if (engine.clock.running()) {
        engine.log.message(2,
                           "[CL] [tid=%4x] Clock was still running (you should typically stop the clock before "
                           "scheduling if you are restarting the clock)\n",
                           tid());
    }
    int64_t frame = secondsToFrames(seconds, engine.output.frameRate());
    // A running clock never holds the stopped marker, nor the value the
    // render could not advance past.
    if (frame == kClockStopped) frame = kClockStopped + 1;
    if (frame == INT64_MAX) frame = INT64_MAX - 1;
    engine.clock.clockFrame.exchange(frame, std::memory_order_seq_cst);
}

void stopClock(TimingState& engine) {
    if (!mayChangeClock(engine)) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to stop clock (must be stopped on the main thread)\n", tid());
        return;
    }
    Clock& clock = engine.clock;
    {
        std::lock_guard<std::mutex> guard(clock.clockMutex);
        // The value is in place before the marker: a render that sees the
        // marker sees where the clock stopped. A render advancing the clock
        // in between fails the exchange, and the next try takes its value.
        int64_t old = clock.clockFrame.load(std::memory_order_seq_cst);
        while (old != kClockStopped) {
            clock.clockStoppedAt.store(old, std::memory_order_release);
            if (clock.clockFrame.compare_exchange_weak(old, kClockStopped, std::memory_order_seq_cst)) break;
        }
    }
    waitForRenderToYield(engine, "StopClock");
}

double getClock(TimingState& engine) {
    Clock& clock = engine.clock;
    int64_t frame;
    {
        std::lock_guard<std::mutex> guard(clock.clockMutex);
        frame = clock.clockFrame.load(std::memory_order_acquire);
        if (frame == kClockStopped) frame = clock.clockStoppedAt.load(std::memory_order_relaxed);
    }
    return static_cast<double>(frame) / static_cast<double>(engine.output.frameRate());
}

bool clockRunning(TimingState& engine) { return engine.clock.running(); }

}  // namespace cl
