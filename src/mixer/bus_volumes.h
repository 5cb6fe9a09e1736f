#pragma once
// The four bus volumes: the game sets targets, the mixer ramps currents.
#include <atomic>

namespace cl {

struct SmoothedLevel {
    std::atomic<float> target{1.0f};
    std::atomic<float> current{1.0f};

    void reset(float value) {
        target.store(value, std::memory_order_relaxed);
        current.store(value, std::memory_order_relaxed);
    }
    // Used when a paused device skips rendering: resume without a ramp.
    void snap() { current.store(target.load(std::memory_order_relaxed), std::memory_order_relaxed); }
};

struct BusVolumes {
    SmoothedLevel globalVolume;
    SmoothedLevel musicVolume;  // bus 1
    SmoothedLevel sfxVolume;    // bus 2
    SmoothedLevel menuVolume;   // bus 3

    void resetAll() {
        for (SmoothedLevel* level : {&globalVolume, &musicVolume, &sfxVolume, &menuVolume}) level->reset(1.0f);
    }
    void snapAll() {
        for (SmoothedLevel* level : {&globalVolume, &musicVolume, &sfxVolume, &menuVolume}) level->snap();
    }
};

}  // namespace cl
