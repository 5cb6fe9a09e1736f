#include <windows.h>

#include "platform/counter.h"

namespace cl::platform {

// Neither call fails on Windows XP and later.
int64_t counterNow() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

int64_t counterFrequency() {
    static const int64_t frequency = [] {
        LARGE_INTEGER value;
        ::QueryPerformanceFrequency(&value);
        return value.QuadPart;
    }();
    return frequency;
}

}  // namespace cl::platform
