#include "sound/sample_memory.h"

#include <cstdint>
#include <cstdlib>

namespace cl {

float* allocateSamples(size_t count) {
    if (count > SIZE_MAX / sizeof(float)) return nullptr;
    // malloc(0) may return null; a one-float buffer keeps "null means failed".
    return static_cast<float*>(std::malloc(count == 0 ? sizeof(float) : count * sizeof(float)));
}

void freeSamples(float* samples) { std::free(samples); }

}  // namespace cl
