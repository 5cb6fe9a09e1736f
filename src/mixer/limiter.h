#pragma once
// Peak limiter with instant attack and linear release, and its two meters.
#include <atomic>
#include <cstdint>

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

    // Per-frame steps, called by the mixer.
    void attack(float peak, uint32_t frameRate);
    void releaseStep();
};

}  // namespace cl
