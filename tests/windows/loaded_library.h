#pragma once
// Cantrelle.dll loaded the way a game loads it: LoadLibraryW and
// GetProcAddress, no import library. Every test loads it afresh and frees
// it afterwards, so the engine inside starts from its initial state (audio
// closed, sound ids from 0) whatever the previous test did.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cantrelle.h"

namespace cltest {

// The exports built so far, typed from the header so that a signature
// changed there no longer compiles here.
struct Exports {
    decltype(&::initaudio) initaudio;
    decltype(&::freeaudio) freeaudio;
    decltype(&::enumaudiodevices) enumaudiodevices;
    decltype(&::audioneedsreinit) audioneedsreinit;
    decltype(&::getversion) getversion;
    decltype(&::getbuildstring) getbuildstring;
    decltype(&::getfeatures) getfeatures;
    decltype(&::setlogfunc) setlogfunc;
    decltype(&::loadfloat) loadfloat;
    decltype(&::loadbytes) loadbytes;
    decltype(&::loadsegment) loadsegment;
    decltype(&::decode) decode;
    decltype(&::unload) unload;
};

// One log line as the library writes it on the given thread:
// "[CL] [tid=<id in lower-case hex, at least 4 wide>] <text>\n".
std::string logLine(const std::string& text, DWORD threadId = GetCurrentThreadId());

class CantrelleDll : public testing::Test {
protected:
    // Loads the library, resolves every export and registers a log receiver
    // for all levels.
    void SetUp() override;
    void TearDown() override;

    // Lines logged since the previous call, from any thread, in order.
    std::vector<std::string> logged();

    // Opens the null output at 44100 Hz; true when it is up.
    bool openNullOutput();

    Exports cl{};

private:
    HMODULE module_ = nullptr;
};

}  // namespace cltest
