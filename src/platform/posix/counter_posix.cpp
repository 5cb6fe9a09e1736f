#include <time.h>

#include "platform/counter.h"

namespace cl::platform {

int64_t counterNow() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int64_t counterFrequency() { return 1000000000; }

}  // namespace cl::platform
