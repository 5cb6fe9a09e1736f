// Cantrelle.dll, found beside the test program as a game's would be.
#include <windows.h>

#include <psapi.h>

#include <string>

#include "loaded_library.h"

namespace cltest {

uint32_t currentThreadId() { return static_cast<uint32_t>(GetCurrentThreadId()); }

Footprint processFootprint() {
    Footprint footprint;
    // PagefileUsage is the process's commit charge: its private memory.
    // (Wine leaves PrivateUsage, its twin, at 0.)
    PROCESS_MEMORY_COUNTERS memory{};
    if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)) {
        footprint.privateBytes = static_cast<int64_t>(memory.PagefileUsage);
    }
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles > 0) {
        footprint.handles = handles;
    } else {
        // Wine counts no handles. Its handle table gives out the lowest free
        // slot, so the slot of a new handle rises with every handle that
        // stays open (once the few free slots below it are taken).
        HANDLE probe = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (probe != nullptr) {
            footprint.handles = static_cast<int64_t>(reinterpret_cast<uintptr_t>(probe) / 4);
            CloseHandle(probe);
        }
    }
    return footprint;
}

namespace module {

void* open(std::string& error) {
    HMODULE handle = LoadLibraryW(L"Cantrelle.dll");
    if (handle == nullptr) error = "LoadLibraryW(Cantrelle.dll) failed with error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(handle);
}

void* find(void* handle, const char* name) {
    // Through void*: FARPROC and the real signatures are unrelated function
    // types, which -Wcast-function-type rightly questions.
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

bool close(void* handle) { return FreeLibrary(static_cast<HMODULE>(handle)) != 0; }

bool stillLoaded() { return GetModuleHandleW(L"Cantrelle.dll") != nullptr; }

}  // namespace module
}  // namespace cltest
