#pragma once
#include "engine/engine.h"

namespace cl {

// The game's per-frame call: the audio provider's housekeeping on the main
// thread, then the input providers' on any thread.
void tick(Engine& engine);

}  // namespace cl
