#include "mixer/limiter_controls.h"

#include <algorithm>
#include <cmath>

#include "mixer/mixer_state.h"

namespace cl {

void setLimiterThreshold(MixerState& engine, float decibels) {
    if (std::isnan(decibels)) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to set limiter threshold (value cannot be NaN)\n", tid());
        return;
    }
    const float clamped = std::min(decibels, 0.0f);
    const float linear = static_cast<float>(std::pow(10.0, static_cast<double>(clamped) / 20.0));
    Limiter& limiter = engine.limiter;
    limiter.limiterThresholdDb.store(clamped, std::memory_order_relaxed);
    limiter.limiterThreshold.store(linear, std::memory_order_relaxed);
    limiter.limiterLevel.store(linear, std::memory_order_relaxed);
}

void setLimiterRelease(MixerState& engine, float milliseconds) {
    if (std::isnan(milliseconds)) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to set limiter release (value cannot be NaN)\n", tid());
        return;
    }
    engine.limiter.limiterReleaseMs.store(std::max(milliseconds, 0.0f), std::memory_order_relaxed);
}

float takeLimiterScale(MixerState& engine) {
    return engine.limiter.limiterMinGain.exchange(1.0f, std::memory_order_relaxed);
}

float takeMaxSample(MixerState& engine) { return engine.limiter.maxSample.exchange(0.0f, std::memory_order_relaxed); }

}  // namespace cl
