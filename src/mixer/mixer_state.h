#pragma once
// The mixer room's layer of the engine state: buses, limiter and the audio
// thread's own memory, over the sound room's.
#include <array>
#include <cstdint>

#include "mixer/bus_volumes.h"
#include "mixer/limiter.h"
#include "sound/sound_state.h"

namespace cl {

// The most frames one render call writes: the block size of the buses.
inline constexpr uint32_t kMaxRenderFrames = 512;

struct MixerState : SoundState {
    using SoundState::SoundState;

    BusVolumes buses;
    Limiter limiter;

    // The audio thread's own state across render calls: the sounds it
    // visited last and what it knew when it listed them, and the block
    // buffers of the four buses.
    struct MixerMemory {
        std::array<uint16_t, SoundTable::MAX_SOUNDS> visits{};
        uint32_t visitCount = 0;
        bool listed = false;              // visits holds the result of a full scan...
        uint64_t listedGeneration = 0;    // ...made at this visit generation...
        bool clockRanWhenListed = false;  // ...with the clock running or not
        alignas(32) float buses[4][kMaxRenderFrames * 2];
    } mixer{};

protected:
    ~MixerState() = default;
};

}  // namespace cl
