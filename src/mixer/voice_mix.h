#pragma once
// One voice mixed over a whole block: its scheduled starts at their frames,
// its gain ramps frame by frame, and the steady rest in runs that the
// vector kernel adds at once.
#include <cstdint>

#include "mixer/block_clock.h"

namespace cl {

struct SoundRecord;

// What every voice of one render call shares.
struct VoiceBlock {
    uint32_t frames = 0;  // frames of the block
    BlockClock clock;
    uint32_t outputRate = 0;
    float rampStep = 0.0f;
    bool gamePaused = false;
};

// Adds the voice's frames into `bus` (interleaved stereo, block.frames
// frames), firing its scheduled starts at their exact frames. The frames
// each get the same products, added in the same order, as mixing the block
// frame by frame across all voices would give them. A voice's gain targets
// and loop flag are read once per call: a setter's change takes effect at
// the next call, about a millisecond later.
void mixVoiceBlock(SoundRecord& record, const VoiceBlock& block, float* bus);

}  // namespace cl
