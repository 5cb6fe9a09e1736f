#include "platform/own_library.h"

#include <dlfcn.h>

namespace cl::platform {

// The shared object this code lives in, opened once more without loading
// anything: dlclose then balances it. In a program linked statically with
// the engine it is the program itself, which never unloads.
uintptr_t holdOwnLibrary() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&holdOwnLibrary), &info) == 0 || info.dli_fname == nullptr) return 0;
    return reinterpret_cast<uintptr_t>(dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD));
}

void releaseOwnLibrary(uintptr_t hold) {
    if (hold != 0) dlclose(reinterpret_cast<void*>(hold));
}

}  // namespace cl::platform
