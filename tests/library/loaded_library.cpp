#include "loaded_library.h"

#include <cstdio>
#include <mutex>

namespace cltest {
namespace {

// The log callback has no context argument, so the lines it receives are
// kept here. The library may call it from any thread.
std::mutex logMutex;
std::vector<std::string> logLines;

void receiveLogLine(const char* line) {
    std::lock_guard<std::mutex> lock(logMutex);
    logLines.emplace_back(line);
}

template <class Function>
void resolve(void* module, const char* name, Function& function, std::vector<std::string>& missing) {
    function = reinterpret_cast<Function>(module::find(module, name));
    if (function == nullptr) missing.emplace_back(name);
}

}  // namespace

std::string logLine(const std::string& text, uint32_t threadId) {
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "[CL] [tid=%4x] ", static_cast<unsigned>(threadId));
    return prefix + text + "\n";
}

void LoadedCantrelle::SetUp() {
    std::string error;
    module_ = module::open(error);
    ASSERT_NE(module_, nullptr) << error;

    std::vector<std::string> missing;
#define CLTEST_RESOLVE(name) resolve(module_, #name, cl.name, missing);
    CLTEST_EXPORTS(CLTEST_RESOLVE)
#undef CLTEST_RESOLVE
    ASSERT_TRUE(missing.empty()) << "not exported: " << testing::PrintToString(missing);

    logged();  // drop anything left from an earlier test
    cl.setlogfunc(0, receiveLogLine);
}

void LoadedCantrelle::TearDown() {
    if (module_ == nullptr) return;
    ASSERT_TRUE(module::close(module_));
    // Each test relies on starting from a fresh engine.
    EXPECT_FALSE(module::stillLoaded()) << "the library stayed loaded after it was closed";
}

std::vector<std::string> LoadedCantrelle::logged() {
    std::lock_guard<std::mutex> lock(logMutex);
    std::vector<std::string> lines;
    lines.swap(logLines);
    return lines;
}

bool LoadedCantrelle::openNullOutput(uint32_t frameRate) {
    return cl.initaudio(1, frameRate, 0, 0.0f, 0, 0, nullptr, nullptr, nullptr, false);
}

}  // namespace cltest
