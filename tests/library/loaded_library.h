#pragma once
// The library loaded the way a game loads it: by path at run time
// (LoadLibraryW or dlopen) with every export resolved by name, no import
// library. Every test loads it afresh and unloads it afterwards, so the
// engine inside starts from its initial state (audio closed, no main thread,
// sound ids from 0) whatever the previous test did.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cantrelle.h"

namespace cltest {

// Every export (src/api/exports.txt), each named once so that the table
// below and the resolution in SetUp cannot drift apart.
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
    X(initinput) X(freeinput) X(lockinput) X(unlockinput) X(onfocus) X(setacceptmouseinput)             \
    X(getheardclock) X(getinputtime) X(getoutputinfo)
// clang-format on

// Typed from the header, so that a signature changed there no longer
// compiles here.
struct Exports {
#define CLTEST_MEMBER(name) decltype(&::name) name;
    CLTEST_EXPORTS(CLTEST_MEMBER)
#undef CLTEST_MEMBER
};

// The calling thread's id as the library's log lines print it.
uint32_t currentThreadId();

// One log line as the library writes it on the given thread:
// "[CL] [tid=<id in lower-case hex, at least 4 wide>] <text>\n".
std::string logLine(const std::string& text, uint32_t threadId = currentThreadId());

// What the process holds of the system, for the lifetime checks: private
// memory in bytes and open handles (Windows handles, file descriptors).
struct Footprint {
    int64_t privateBytes = 0;
    int64_t handles = 0;
};
Footprint processFootprint();

// The library's file, opened and closed by path (library_module_*.cpp).
namespace module {
void* open(std::string& error);
void* find(void* handle, const char* name);
bool close(void* handle);
bool stillLoaded();
}  // namespace module

class LoadedCantrelle : public testing::Test {
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
    void* module_ = nullptr;
};

}  // namespace cltest
