// Loading and unloading sounds through the exports of the loaded DLL.
#include <windows.h>

#include <gmock/gmock.h>

#include <limits>

#include "loaded_library.h"

namespace cltest {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

const float kStereo[8] = {0.5f, -0.5f, 0.25f, -0.25f, 0.0f, 0.0f, -1.0f, 1.0f};
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInfinity = std::numeric_limits<float>::infinity();

class Loading : public LoadedCantrelle {};

TEST_F(Loading, SoundsGetIdsCountingFromZero) {
    ASSERT_TRUE(openNullOutput());
    EXPECT_EQ(cl.loadfloat(kStereo, 8, 2, 44100, 0, 1.0f, 0.0f, 0, "stereo"), 0);
    EXPECT_EQ(cl.loadfloat(kStereo, 8, 1, 22050, 3, 1.0f, 0.0f, 0, nullptr), 1);
    EXPECT_THAT(logged(), IsEmpty());
}

TEST_F(Loading, RuntimeSpeedIsWarnedAboutButTheSoundLoads) {
    EXPECT_EQ(cl.loadfloat(kStereo, 8, 2, 48000, 1, 1.0f, 0.0f, 1, "music"), 0);
    EXPECT_THAT(logged(), ElementsAre(logLine("Runtime speed changes are not supported in this build")));
}

// The library never starts COM: a game that did not cannot have a sound
// converted by the system resampler, and the load says so, and what to call.
TEST_F(Loading, ConversionWithoutComFailsTheLoadWithALogLine) {
    EXPECT_EQ(cl.loadfloat(kStereo, 8, 2, 44100, 0, 1.0f, 0.0f, 0, "early"), -1);
    EXPECT_THAT(
        logged(),
        ElementsAre(logLine("Failed to load sound [early] (Operation failed)"),
                    logLine("COM is not initialised on this thread: call CoInitializeEx on this thread first")));
}

TEST_F(Loading, UnloadOfASoundThatIsGoneIsRefused) {
    cl.unload(0);
    EXPECT_THAT(logged(), ElementsAre(logLine("Failed to unload sound 0 (sound does not exist)")));

    ASSERT_EQ(cl.loadfloat(kStereo, 8, 2, 48000, 0, 1.0f, 0.0f, 0, "once"), 0);
    cl.unload(0);
    EXPECT_THAT(logged(), IsEmpty());
    cl.unload(0);
    EXPECT_THAT(logged(), ElementsAre(logLine("Failed to unload sound 0 (sound does not exist)")));
}

TEST_F(Loading, EncodedDataIsNotSupported) {
    const unsigned char bytes[4] = {'R', 'I', 'F', 'F'};
    float out[4] = {};
    EXPECT_EQ(cl.loadbytes(bytes, 4, 0, 1.0f, 0.0f, 0, "encoded"), -1);
    EXPECT_EQ(cl.decode(bytes, 4, out, 4), 0);
    EXPECT_THAT(logged(), ElementsAre(logLine("Decoding is not supported in this build"),
                                      logLine("Decoding is not supported in this build")));
}

struct LoadRefusal {
    const char* name;
    const float* data;
    uint32_t sampleTotal;
    uint32_t channels;
    uint32_t frequency;
    uint32_t bus;
    float speed;
    float semitones;
    std::string line;
};

void PrintTo(const LoadRefusal& refusal, std::ostream* out) { *out << refusal.name; }

class LoadRefused : public LoadedCantrelle, public testing::WithParamInterface<LoadRefusal> {};

TEST_P(LoadRefused, LogsOneLineAndUsesNoId) {
    const LoadRefusal& r = GetParam();
    ASSERT_TRUE(openNullOutput());
    EXPECT_EQ(cl.loadfloat(r.data, r.sampleTotal, r.channels, r.frequency, r.bus, r.speed, r.semitones, 0, "x"), -1);
    EXPECT_THAT(logged(), ElementsAre(logLine(r.line)));
    EXPECT_EQ(cl.loadfloat(kStereo, 8, 2, 44100, 0, 1.0f, 0.0f, 0, "next"), 0);
}

// The float cases also check the DLL's printf: a C runtime that spells
// NaN and infinity its own way would show here.
INSTANTIATE_TEST_SUITE_P(
    Cases, LoadRefused,
    testing::Values(
        LoadRefusal{"ThreeChannels", kStereo, 8, 3, 44100, 0, 1.0f, 0.0f, "Invalid channel count 3 (must be 1 or 2)"},
        LoadRefusal{"ZeroFrequency", kStereo, 8, 2, 0, 0, 1.0f, 0.0f, "Invalid frequency 0 (must be greater than 0)"},
        LoadRefusal{"BusFour", kStereo, 8, 2, 44100, 4, 1.0f, 0.0f, "Invalid bus 4 (must be less than 4)"},
        LoadRefusal{"NullData", nullptr, 10, 2, 44100, 0, 1.0f, 0.0f,
                    "Invalid sample data (pData is null but sampleTotal is 10)"},
        LoadRefusal{"ZeroSpeed", kStereo, 8, 2, 44100, 0, 0.0f, 0.0f,
                    "Invalid speed 0.000000 (must be strictly positive)"},
        LoadRefusal{"NaNSpeed", kStereo, 8, 2, 44100, 0, kNaN, 0.0f, "Invalid speed nan (must be strictly positive)"},
        LoadRefusal{"InfiniteSemitones", kStereo, 8, 2, 44100, 0, 1.0f, kInfinity,
                    "Invalid semitones inf (must not be infinite)"}),
    [](const testing::TestParamInfo<LoadRefusal>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace cltest
