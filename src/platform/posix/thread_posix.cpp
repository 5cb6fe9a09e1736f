#include "platform/thread.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>

namespace cl::platform {

uint32_t currentThreadId() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

// Linux has no debugger output channel; stderr is the closest equivalent.
void debugOutput(const char* text) { std::fputs(text, stderr); }

// exit() runs the destructors with every thread still alive: teardown may
// join and release as it does at any unload.
bool processIsExiting() { return false; }

}  // namespace cl::platform
