#pragma once
// The high-resolution counter that sound and input share as their one axis:
// QueryPerformanceCounter on Windows, the monotonic clock natively. It never
// runs backwards and its rate is fixed for the life of the process. Code
// that needs a scripted time takes counter values as arguments instead.
#include <cstdint>

namespace cl::platform {

int64_t counterNow();
// Ticks per second.
int64_t counterFrequency();

}  // namespace cl::platform
