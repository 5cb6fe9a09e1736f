#pragma once
// The clock room's layer of the engine state: the clock and the pause
// handshake, over the ground floor.
#include <atomic>
#include <chrono>
#include <cstdint>

#include "clock/clock_frame.h"
#include "core/engine_core.h"

namespace cl {

// The pause handshake. Its atomics are sequentially consistent: the main
// thread stores a flag and then reads renderActive, the audio thread stores
// renderActive and then reads the flag; either order of the two stores
// lets one side see the other.
struct PauseState {
    std::atomic<uint8_t> audioPaused{0};
    std::atomic<uint8_t> gameAudioPaused{0};
    std::atomic<uint8_t> renderActive{0};
};

struct TimingState : EngineCore {
    using EngineCore::EngineCore;

    Clock clock;
    PauseState pause;
    // How long pauseaudio and stopclock wait for a render in progress.
    std::chrono::milliseconds renderYieldTimeout{10000};

protected:
    ~TimingState() = default;
};

}  // namespace cl
