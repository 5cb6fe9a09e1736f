#include "platform/thread.h"

#include <windows.h>

namespace cl::platform {

uint32_t currentThreadId() { return static_cast<uint32_t>(::GetCurrentThreadId()); }

void debugOutput(const char* text) { ::OutputDebugStringA(text); }

bool processIsExiting() {
    using ShutdownInProgress = BOOLEAN(WINAPI*)();
    // Looked up on every call rather than kept in a function-local static:
    // the first call is usually at exit, and a static's first initialisation
    // takes the C++ runtime's one guard lock, which a thread the system ended
    // inside another static's initialisation would hold for ever. Through
    // void*: FARPROC and the real signature are unrelated function types.
    const auto inProgress = reinterpret_cast<ShutdownInProgress>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlDllShutdownInProgress")));
    return inProgress != nullptr && inProgress() != 0;
}

}  // namespace cl::platform
