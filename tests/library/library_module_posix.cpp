// libcantrelle.so, opened by the path the build gives (CLTEST_LIBRARY_PATH).
#include <dlfcn.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <dirent.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "loaded_library.h"

namespace cltest {

uint32_t currentThreadId() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

Footprint processFootprint() {
    Footprint footprint;
    // Private pages: what this process alone has touched.
    std::ifstream rollup("/proc/self/smaps_rollup");
    std::string line;
    while (std::getline(rollup, line)) {
        long long kilobytes = 0;
        if (std::sscanf(line.c_str(), "Private_Clean: %lld kB", &kilobytes) == 1 ||
            std::sscanf(line.c_str(), "Private_Dirty: %lld kB", &kilobytes) == 1) {
            footprint.privateBytes += kilobytes * 1024;
        }
    }
    if (DIR* fds = opendir("/proc/self/fd")) {
        while (readdir(fds) != nullptr) ++footprint.handles;
        closedir(fds);
    }
    return footprint;
}

namespace module {

void* open(std::string& error) {
    // The OpenMP runtime that the sample rate converter pulls in keeps a
    // block of its own that it loses each time it is unloaded; kept loaded,
    // as a game keeps it, the leak checks see only this library.
    static void* const openMpRuntime = dlopen("libgomp.so.1", RTLD_NOW | RTLD_NODELETE);
    (void)openMpRuntime;
    // Local binding: the library's symbols never stand in for this program's.
    void* handle = dlopen(CLTEST_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) error = std::string("dlopen failed: ") + dlerror();
    return handle;
}

void* find(void* handle, const char* name) { return dlsym(handle, name); }

bool close(void* handle) { return dlclose(handle) == 0; }

bool stillLoaded() {
    void* handle = dlopen(CLTEST_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}

}  // namespace module
}  // namespace cltest
