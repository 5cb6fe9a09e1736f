#include "platform/thread.h"

#include <windows.h>

namespace cl::platform {

uint32_t currentThreadId() { return static_cast<uint32_t>(::GetCurrentThreadId()); }

void debugOutput(const char* text) { ::OutputDebugStringA(text); }

}  // namespace cl::platform
