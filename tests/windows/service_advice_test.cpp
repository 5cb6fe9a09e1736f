// A game that forgets COM or Media Foundation, through the real DLL on
// Wine's services: the usual lines, then one that says what to call. Each
// case runs on a thread of its own, so no earlier test's COM reaches it.
#include <windows.h>

#include <mfapi.h>

#include <gmock/gmock.h>

#include <thread>
#include <vector>

#include "loaded_library.h"
#include "other_thread.h"

namespace cltest {
namespace {

using testing::ElementsAre;

const std::string kComAdvice = "COM is not initialised on this thread: call CoInitializeEx on this thread first";

const float kStereo[8] = {0.5f, -0.5f, 0.25f, -0.25f, 0.0f, 0.0f, -1.0f, 1.0f};

using ServiceAdvice = LoadedCantrelle;

TEST_F(ServiceAdvice, InitaudioWithoutComSaysToCallCoInitializeEx) {
    bool opened = true;
    const DWORD thread =
        onOtherThread([&] { opened = cl.initaudio(2, 48000, 0, 0.0f, 0, 0, nullptr, nullptr, nullptr, false); });
    EXPECT_FALSE(opened);
    EXPECT_THAT(logged(), ElementsAre(logLine("audio_wasapi@19d5a091:859 failed with HRESULT 0x800401f0", thread),
                                      logLine("Failed to initialise audio", thread), logLine(kComAdvice, thread)));
}

TEST_F(ServiceAdvice, ALoadThatConvertsWithoutComSaysToCallCoInitializeEx) {
    int32_t id = 0;
    const DWORD thread = onOtherThread([&] { id = cl.loadfloat(kStereo, 8, 2, 44100, 0, 1.0f, 0.0f, 0, "early"); });
    EXPECT_EQ(id, -1);
    EXPECT_THAT(logged(), ElementsAre(logLine("Failed to load sound [early] (Operation failed)", thread),
                                      logLine(kComAdvice, thread)));
}

// Wine's Media Foundation converts without MFStartup (Windows may answer
// MF_E_PLATFORM_NOT_INITIALIZED, whose advice the native tests check with
// the scripted fakes): with COM alone, or with both, the load converts and
// nothing is advised.
TEST_F(ServiceAdvice, WithComTheLoadConvertsAndNothingIsAdvised) {
    const std::vector<float> tone(8820, 0.25f);  // 0.1 s: more than the converter's delay
    for (const bool startMediaFoundation : {false, true}) {
        int32_t id = -1;
        onOtherThread([&] {
            ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
            if (startMediaFoundation) {
                ASSERT_TRUE(SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_NOSOCKET)));
            }
            id = cl.loadfloat(tone.data(), 8820, 2, 44100, 0, 1.0f, 0.0f, 0, "tone");
            if (startMediaFoundation) MFShutdown();
            CoUninitialize();
        });
        EXPECT_GE(id, 0) << startMediaFoundation;
        EXPECT_THAT(logged(), testing::IsEmpty()) << startMediaFoundation;
    }
}

}  // namespace
}  // namespace cltest
