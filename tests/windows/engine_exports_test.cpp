// Build information, log line format, audio initialisation and the device
// list, through the exports of the loaded DLL.
#include <windows.h>

#include <gmock/gmock.h>

#include <thread>

#include "loaded_library.h"

namespace cltest {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

// ---- Build information ---------------------------------------------------

class BuildInfo : public LoadedCantrelle {};

// Callbacks carry no context, so what they saw is kept here.
std::vector<std::string> buildStrings;

// Needs all 64 bits: a result squeezed through a 32-bit int would differ.
const intptr_t kCallbackResult = static_cast<intptr_t>(0x123456789abcdef0);

intptr_t recordBuildString(const char* text) {
    buildStrings.emplace_back(text);
    return kCallbackResult;
}

TEST_F(BuildInfo, VersionAndFeatureWord) {
    EXPECT_EQ(cl.getversion(), 35);
    EXPECT_EQ(cl.getfeatures(), 0);
    EXPECT_THAT(logged(), IsEmpty());
}

TEST_F(BuildInfo, BuildStringGoesToTheCallbackOnceAndItsResultIsReturned) {
    buildStrings.clear();
    EXPECT_EQ(cl.getbuildstring(recordBuildString), kCallbackResult);
    EXPECT_THAT(buildStrings, ElementsAre("Cantrelle Engine 0.35 (19d5a091) compiled for Windows x86_64"));
    EXPECT_THAT(logged(), IsEmpty());
}

TEST_F(BuildInfo, BuildStringWithoutCallbackIsRefused) {
    EXPECT_EQ(cl.getbuildstring(nullptr), 0);
    EXPECT_THAT(logged(), ElementsAre(logLine("Failed to get build string (callback is null)")));
}

// ---- Log line format -----------------------------------------------------

class LogFormat : public LoadedCantrelle {};

TEST_F(LogFormat, EachLineNamesTheWindowsThreadThatWroteIt) {
    DWORD otherThread = 0;
    std::thread([&] {
        otherThread = GetCurrentThreadId();
        cl.getbuildstring(nullptr);
    }).join();
    cl.getbuildstring(nullptr);

    ASSERT_NE(otherThread, GetCurrentThreadId());
    EXPECT_THAT(logged(), ElementsAre(logLine("Failed to get build string (callback is null)", otherThread),
                                      logLine("Failed to get build string (callback is null)")));
}

// ---- Audio initialisation ------------------------------------------------

class AudioInit : public LoadedCantrelle {};

TEST_F(AudioInit, NullProviderOpensOnceAndLeavesTheDefaultPeriodsUntouched) {
    float exclusiveDefaultMs = -7.5f;
    float sharedDefaultMs = -7.5f;
    EXPECT_TRUE(cl.initaudio(1, 44100, 0, 0.0f, 0, 0, &exclusiveDefaultMs, &sharedDefaultMs, nullptr, false));
    EXPECT_EQ(exclusiveDefaultMs, -7.5f);
    EXPECT_EQ(sharedDefaultMs, -7.5f);
    EXPECT_THAT(logged(), IsEmpty());

    EXPECT_FALSE(cl.initaudio(1, 44100, 0, 0.0f, 0, 0, nullptr, nullptr, nullptr, false));
    EXPECT_THAT(logged(), ElementsAre(logLine("Audio already initialised")));
}

TEST_F(AudioInit, FreeAudioClosesOnlyFromTheMainThread) {
    ASSERT_TRUE(openNullOutput());

    DWORD otherThread = 0;
    std::thread([&] {
        otherThread = GetCurrentThreadId();
        cl.freeaudio();
    }).join();
    EXPECT_THAT(logged(), ElementsAre(logLine("FreeAudio must be called from the main thread", otherThread)));

    cl.freeaudio();
    EXPECT_THAT(logged(), IsEmpty());
    cl.freeaudio();
    EXPECT_THAT(logged(), ElementsAre(logLine("Audio not initialised")));

    EXPECT_TRUE(openNullOutput()) << "output closed by freeaudio opens again";
}

TEST_F(AudioInit, FreeAudioBeforeAnyInitHasNoMainThread) {
    cl.freeaudio();
    EXPECT_THAT(logged(), ElementsAre(logLine("FreeAudio must be called from the main thread")));
}

struct InitRefusal {
    const char* name;
    int32_t providerId;
    uint32_t frameRate;
    float bufferMs;
    std::vector<std::string> lines;
};

void PrintTo(const InitRefusal& refusal, std::ostream* out) { *out << refusal.name; }

class AudioInitRefusal : public LoadedCantrelle, public testing::WithParamInterface<InitRefusal> {};

TEST_P(AudioInitRefusal, LogsWhyAndLeavesAudioClosed) {
    const InitRefusal& refusal = GetParam();
    EXPECT_FALSE(cl.initaudio(refusal.providerId, refusal.frameRate, 0, refusal.bufferMs, 0, 0, nullptr, nullptr,
                              nullptr, false));
    std::vector<std::string> expected;
    for (const std::string& text : refusal.lines) expected.push_back(logLine(text));
    EXPECT_EQ(logged(), expected);

    EXPECT_TRUE(openNullOutput()) << "a refused initaudio must not count as open";
    EXPECT_THAT(logged(), IsEmpty());
}

// Providers 2 and 0 (its default) open for real: audio_output_test.cpp.
INSTANTIATE_TEST_SUITE_P(
    Cases, AudioInitRefusal,
    testing::Values(
        InitRefusal{"UnknownProvider", 3, 44100, 0.0f, {"Requested audio provider is not available on this platform"}},
        InitRefusal{
            "NegativeProvider", -1, 44100, 0.0f, {"Requested audio provider is not available on this platform"}},
        InitRefusal{"ZeroFrameRate", 1, 0, 0.0f, {"Frame rate must be non-zero (got 0)", "Failed to initialise audio"}},
        InitRefusal{"NegativeBuffer", 1, 44100, -1.0f, {"Requested buffer size must be positive (or 0 for default)"}}),
    [](const testing::TestParamInfo<InitRefusal>& info) { return std::string(info.param.name); });

// ---- Device list (the endpoints themselves: audio_output_test.cpp) ---------

class DeviceList : public LoadedCantrelle {};

TEST_F(DeviceList, WithoutCallbackIsRefused) {
    cl.enumaudiodevices(nullptr);
    EXPECT_THAT(logged(), ElementsAre(logLine("Failed to enumerate audio devices (callback is null)")));
}

}  // namespace
}  // namespace cltest
