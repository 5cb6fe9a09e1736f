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

// The exports built so far (src/api/exports.txt), each named once so that
// the table below and the resolution in SetUp cannot drift apart.
// clang-format off
#define CLTEST_EXPORTS(X)                                                                                   \
    X(initaudio) X(freeaudio) X(enumaudiodevices) X(audioneedsreinit)                                       \
    X(getversion) X(getbuildstring) X(getfeatures) X(setlogfunc)                                            \
    X(loadfloat) X(loadbytes) X(loadsegment) X(decode) X(unload)                                            \
    X(play) X(playfrom) X(stop) X(getposition) X(setposition) X(getlength) X(isplaying)                     \
    X(setgain) X(getgain) X(setvolume) X(getvolume) X(setfade) X(getfade) X(setpan) X(getpan)               \
    X(setspeed) X(getspeed) X(setsemitones) X(getsemitones) X(setloop) X(getloop)                           \
    X(setglobalvolume) X(getglobalvolume) X(setmusicvolume) X(getmusicvolume)                               \
    X(setsfxvolume) X(getsfxvolume) X(setmenuvolume) X(getmenuvolume)                                       \
    X(setlimiterthreshold) X(getlimiterthreshold) X(setlimiterrelease) X(getlimiterrelease)                 \
    X(getlimiterscale) X(getmaxsample)                                                                      \
    X(startclock) X(startclockfrom) X(stopclock) X(getclock) X(clockrunning)                                \
    X(scheduleclock) X(unschedule) X(pauseaudio) X(unpauseaudio) X(pausegameaudio) X(unpausegameaudio)      \
    X(tick)                                                                                                 \
    X(initinput) X(freeinput) X(lockinput) X(unlockinput) X(onfocus) X(setacceptmouseinput)
// clang-format on

// Typed from the header, so that a signature changed there no longer
// compiles here.
struct Exports {
#define CLTEST_MEMBER(name) decltype(&::name) name;
    CLTEST_EXPORTS(CLTEST_MEMBER)
#undef CLTEST_MEMBER
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

    // Opens the null output; true when it is up.
    bool openNullOutput(uint32_t frameRate = 44100);

    Exports cl{};

private:
    HMODULE module_ = nullptr;
};

}  // namespace cltest
