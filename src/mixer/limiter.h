#pragma once
// Peak limiter with instant attack and linear release, and its two meters.
#include <atomic>
#include <cstdint>

#include "core/float_convert.h"

namespace cl {

struct Limiter {
    static constexpr float kInitialThreshold = 32767.0f;  // about +90 dB: never reached

    // Settings: single relaxed stores by the game, read once per frame.
    std::atomic<float> limiterThresholdDb{0.0f};
    std::atomic<float> limiterThreshold{kInitialThreshold};
    std::atomic<float> limiterLevel{kInitialThreshold};  // also reset by the threshold setter
    std::atomic<float> limiterReleaseMs{0.0f};

    // Audio thread only.
    float limiterGain = 1.0f;
    uint32_t limiterReleaseLeft = 0;

    // Meters: the game reads-and-resets by exchange, the mixer raises/lowers
    // by exchange after a plain comparison.
    std::atomic<float> limiterMinGain{1.0f};
    std::atomic<float> maxSample{0.0f};

    // Per-frame steps, called by the mixer: inline, since they run for
    // every output frame.
    void attack(float peak, uint32_t frameRate) {
        const float releaseMs = limiterReleaseMs.load(std::memory_order_relaxed);
        if (!(peak >= limiterLevel.load(std::memory_order_relaxed)) || !(releaseMs > 0.0f)) return;
        // A threshold of 0 (-infinity dB) meets a silent frame: 0/0 would be
        // NaN, and the meaning of that threshold is "let nothing through".
        limiterGain = peak > 0.0f ? limiterThreshold.load(std::memory_order_relaxed) / peak : 0.0f;
        limiterLevel.store(peak, std::memory_order_relaxed);
        limiterReleaseLeft = saturatingTruncate<uint32_t>(static_cast<float>(frameRate) * releaseMs / 1000.0f);
    }

    void releaseStep() {
        if (limiterMinGain.load(std::memory_order_relaxed) > limiterGain) {
            limiterMinGain.exchange(limiterGain, std::memory_order_relaxed);
        }
        if (limiterReleaseLeft > 0) {
            const uint32_t n = limiterReleaseLeft;
            limiterGain += (1.0f - limiterGain) / static_cast<float>(n);
            limiterReleaseLeft = n - 1;
            limiterLevel.store(limiterThreshold.load(std::memory_order_relaxed) / limiterGain,
                               std::memory_order_relaxed);
        } else if (limiterGain != 1.0f) {  // also catches NaN
            limiterGain = 1.0f;
        }
    }
};

}  // namespace cl
