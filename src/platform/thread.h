#pragma once
// Thin layer over the kernel services the engine core needs on every thread.
#include <cstdint>

namespace cl::platform {

// Id of the calling thread as the OS reports it (never 0 for a real thread).
uint32_t currentThreadId();

// The operating system's debugger output: where log lines go when the game
// registered no receiver for their level.
void debugOutput(const char* text);

// True while the process is ending: its other threads are gone and the
// library is being detached. Teardown then leaves threads, COM objects and
// timers to the system instead of joining and releasing them under the
// loader lock.
bool processIsExiting();

}  // namespace cl::platform
