#pragma once
// Counts every operator new of the test binary, so tests can show that a
// stretch of code (the mixer's render) allocates nothing.
#include <cstdint>

namespace cl::test {
int64_t allocationCount();
}
