#pragma once
// A change of the output format, made by the provider's open step.
#include <cstdint>

#include "sound/sound_state.h"

namespace cl {

// Validates and sets the output format, rescales the clock and every
// scheduled start to the same time in seconds, and converts every loaded
// sound for the new rate. Logs and returns false on invalid arguments.
bool setOutputFormat(SoundState& engine, SampleFormat format, uint32_t frameRate, uint32_t channels);

}  // namespace cl
