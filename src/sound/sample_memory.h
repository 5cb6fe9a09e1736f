#pragma once
// Sample buffers are plain malloc'd float arrays so that a provider's
// resampler and the sound record agree on who frees them and how.
#include <cstddef>

namespace cl {

// Returns null when the memory cannot be had (never throws).
float* allocateSamples(size_t count);
void freeSamples(float* samples);

// Tests swap the allocator of an engine to make allocations fail.
using SampleAllocator = float* (*)(size_t count);

}  // namespace cl
