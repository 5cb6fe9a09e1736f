#include "clock/heard_clock.h"

#include <algorithm>

namespace cl {

void HeardClock::open(uint32_t frameRate, int64_t ticksPerSecond) {
    fit_.reset(frameRate, ticksPerSecond);
    steering_ = SteeringTimes::forFrequency(ticksPerSecond);
    lastSteer_ = 0;
    newestReport_ = INT64_MIN;  // below any counter value, so the first report sets it
    lost_ = false;
    state_ = HeardSnapshot{};
    state_.open = 1;
    state_.frameRate = frameRate;
    published_.publish(state_);
}

void HeardClock::close() {
    lost_ = false;
    state_ = HeardSnapshot{};
    published_.publish(state_);
}

void HeardClock::recordRender(int64_t streamFrame, int64_t clockFrameAtStart, bool running, uint32_t frames) {
    if (state_.open == 0 || frames == 0) return;
    if (!lost_ && !state_.records.empty() && !state_.curve.empty()) {
        const StreamRecord& newest = state_.records.record(state_.records.size() - 1);
        state_.curve.stallAt(static_cast<double>(newest.streamFrame + newest.frames), newestReport_);
    }
    state_.records.add(streamFrame, clockFrameAtStart, running, frames);
    published_.publish(state_);
}

void HeardClock::reportDevicePosition(int64_t deviceFrame, int64_t counterTicks) {
    if (state_.open == 0 || lost_) return;
    fit_.add(deviceFrame, counterTicks);
    newestReport_ = std::max(newestReport_, counterTicks);
    // The line is followed anew every few reports: each change is a new pair
    // of segments, and the curve keeps a few hundred milliseconds of them.
    if (!state_.curve.empty() && counterTicks - lastSteer_ < steering_.interval) return;
    lastSteer_ = counterTicks;
    state_.curve.steer(fit_.line(), counterTicks, steering_);
    published_.publish(state_);
}

void HeardClock::deviceLost(int64_t counterTicks) {
    if (state_.open == 0 || lost_) return;
    lost_ = true;
    state_.curve.hold(counterTicks, steering_);
    published_.publish(state_);
}

std::optional<double> HeardClock::clockSecondsAt(int64_t counterTicks) const {
    const HeardSnapshot seen = published_.read();
    if (seen.open == 0 || seen.records.empty() || seen.frameRate <= 0) return std::nullopt;
    // Before the device's first report nothing mixed has been heard yet:
    // the clock stands where the first frame mixed stands, and moves on
    // from there once reports come, never back to the mix's own clock.
    const double position =
        seen.curve.empty() ? static_cast<double>(seen.records.record(0).streamFrame) : seen.curve.at(counterTicks);
    const std::optional<double> frame = seen.records.clockFrameAt(position);
    if (!frame) return std::nullopt;
    return *frame / static_cast<double>(seen.frameRate);
}

}  // namespace cl
