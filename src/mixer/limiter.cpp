#include "mixer/limiter.h"

#include <cmath>

#include "core/float_convert.h"

namespace cl {

void Limiter::attack(float peak, uint32_t frameRate) {
    const float releaseMs = limiterReleaseMs.load(std::memory_order_relaxed);
    if (!(peak >= limiterLevel.load(std::memory_order_relaxed)) || !(releaseMs > 0.0f)) return;
    // A threshold of 0 (-infinity dB) meets a silent frame: 0/0 would be
    // NaN, and the meaning of that threshold is "let nothing through".
    limiterGain = peak > 0.0f ? limiterThreshold.load(std::memory_order_relaxed) / peak : 0.0f;
    limiterLevel.store(peak, std::memory_order_relaxed);
    limiterReleaseLeft = saturatingTruncate<uint32_t>(static_cast<float>(frameRate) * releaseMs / 1000.0f);
}

void Limiter::releaseStep() {
    if (limiterMinGain.load(std::memory_order_relaxed) > limiterGain) {
        limiterMinGain.exchange(limiterGain, std::memory_order_relaxed);
    }
    if (limiterReleaseLeft > 0) {
        const uint32_t n = limiterReleaseLeft;
        limiterGain += (1.0f - limiterGain) / static_cast<float>(n);
        limiterReleaseLeft = n - 1;
        limiterLevel.store(limiterThreshold.load(std::memory_order_relaxed) / limiterGain, std::memory_order_relaxed);
    } else if (limiterGain != 1.0f) {  // also catches NaN
        limiterGain = 1.0f;
    }
}

}  // namespace cl
