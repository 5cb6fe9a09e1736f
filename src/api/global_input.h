#pragma once
// The library's one input core, registered with the engine's tick.
#include "input/input_core.h"

namespace cl {

InputCore& input();

}  // namespace cl
