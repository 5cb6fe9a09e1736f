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
void resolve(HMODULE module, const char* name, Function& function, std::vector<std::string>& missing) {
    // Through void*: FARPROC and the real signature are unrelated function
    // types, which -Wcast-function-type rightly questions.
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (function == nullptr) missing.emplace_back(name);
}

}  // namespace

std::string logLine(const std::string& text, DWORD threadId) {
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "[CL] [tid=%4lx] ", static_cast<unsigned long>(threadId));
    return prefix + text + "\n";
}

void CantrelleDll::SetUp() {
    module_ = LoadLibraryW(L"Cantrelle.dll");
    ASSERT_NE(module_, nullptr) << "LoadLibraryW(Cantrelle.dll) failed with error " << GetLastError();

    std::vector<std::string> missing;
#define CLTEST_RESOLVE(name) resolve(module_, #name, cl.name, missing);
    CLTEST_EXPORTS(CLTEST_RESOLVE)
#undef CLTEST_RESOLVE
    ASSERT_TRUE(missing.empty()) << "not exported: " << testing::PrintToString(missing);

    logged();  // drop anything left from an earlier test
    cl.setlogfunc(0, receiveLogLine);
}

void CantrelleDll::TearDown() {
    if (module_ == nullptr) return;
    ASSERT_TRUE(FreeLibrary(module_));
    // Each test relies on starting from a fresh engine.
    EXPECT_EQ(GetModuleHandleW(L"Cantrelle.dll"), nullptr) << "Cantrelle.dll stayed loaded after FreeLibrary";
}

std::vector<std::string> CantrelleDll::logged() {
    std::lock_guard<std::mutex> lock(logMutex);
    std::vector<std::string> lines;
    lines.swap(logLines);
    return lines;
}

bool CantrelleDll::openNullOutput(uint32_t frameRate) {
    return cl.initaudio(1, frameRate, 0, 0.0f, 0, 0, nullptr, nullptr, nullptr, false);
}

}  // namespace cltest
