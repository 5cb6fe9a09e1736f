#pragma once
// The sound room's layer of the engine state: the loaded sounds, over the
// clock room's.
#include <cstdint>
#include <shared_mutex>
#include <utility>

#include "clock/timing_state.h"
#include "sound/sample_memory.h"
#include "sound/sound_table.h"

namespace cl {

struct SoundState : TimingState {
    SoundState(ProviderRegistry registry, DebugSink debugSink, uint32_t firstSoundId)
        : TimingState(std::move(registry), debugSink), sounds(firstSoundId) {}

    SoundTable sounds;

    // Orders loads against output-rate changes: a load prepares its samples
    // and enters the table under it shared, setOutputFormat holds it
    // exclusively, so no sound ends up converted for a rate that is gone.
    // Never taken by the audio thread.
    std::shared_mutex formatLock;

    SampleAllocator allocateSamples = cl::allocateSamples;

protected:
    ~SoundState() = default;
};

}  // namespace cl
