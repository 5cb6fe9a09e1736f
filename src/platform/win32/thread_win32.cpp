#include "platform/thread.h"

#include <windows.h>

namespace cl::platform {

uint32_t currentThreadId() { return static_cast<uint32_t>(::GetCurrentThreadId()); }

void debugOutput(const char* text) { ::OutputDebugStringA(text); }

bool processIsExiting() {
    using ShutdownInProgress = BOOLEAN(WINAPI*)();
    // Through void*: FARPROC and the real signature are unrelated function types.
    static const auto inProgress = reinterpret_cast<ShutdownInProgress>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlDllShutdownInProgress")));
    return inProgress != nullptr && inProgress() != 0;
}

}  // namespace cl::platform
