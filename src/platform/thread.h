#pragma once
// Thin layer over the kernel services the engine core needs on every thread.
#include <cstdint>

namespace cl::platform {

// Id of the calling thread as the OS reports it (never 0 for a real thread).
uint32_t currentThreadId();

// The operating system's debugger output: where log lines go when the game
// registered no receiver for their level.
void debugOutput(const char* text);

}  // namespace cl::platform
