#include "platform/own_library.h"

#include <windows.h>

namespace cl::platform {

uintptr_t holdOwnLibrary() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&holdOwnLibrary), &module);
    return reinterpret_cast<uintptr_t>(module);
}

void releaseOwnLibrary(uintptr_t hold) {
    if (hold != 0) FreeLibrary(reinterpret_cast<HMODULE>(hold));
}

}  // namespace cl::platform
