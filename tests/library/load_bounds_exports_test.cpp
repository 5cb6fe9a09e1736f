// What one load may cost, through the exports of the library opened by path,
// on both builds (libcantrelle.so, and Cantrelle.dll under Wine): a rate
// factor outside [1/1024, 1024], a sound too long or too short once
// prepared, each refused at once with its line; the very edges loaded, and
// converted by the system's converter (libsoxr natively, Media Foundation on
// Windows) as sane loads always were.
#ifdef _WIN32
#    include <windows.h>

#    include <mfapi.h>
#endif

#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "loaded_library.h"

namespace cltest {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kMax = std::numeric_limits<float>::max();
constexpr float kDenormal = std::numeric_limits<float>::denorm_min();
constexpr float kLow = 1.0f / 1024.0f;

// A refusal is arithmetic and one line: room for a slow, shared machine,
// the sanitizers and Wine, still far below the seconds such loads took.
constexpr auto kQuickly = std::chrono::milliseconds(250);

const std::string kRange = " (speed * 2^(semitones/12) must be in [1/1024, 1024])";

struct LoadCase {
    const char* name;
    float speed;
    float semitones;
    uint32_t frames;     // stereo frames of 0.25
    uint32_t frequency;  // their rate
    std::string line;    // empty: the sound loads
};

void PrintTo(const LoadCase& c, std::ostream* out) { *out << c.name; }

std::vector<LoadCase> loadCases() {
    return {
        {"LowestFactor", kLow, 0.0f, 8, 48000, ""},
        {"LowestByPitch", 1.0f, -120.0f, 8, 48000, ""},
        {"HighestFactor", 1024.0f, 0.0f, 48000, 48000, ""},
        {"HighestByBoth", 2.0f, 108.0f, 48000, 48000, ""},
        {"DenormalRaisedByPitch", kDenormal, 1788.0f, 8, 48000, ""},
        {"BelowLowest", std::nextafter(kLow, 0.0f), 0.0f, 8, 48000, "Invalid rate factor 0.000976562442" + kRange},
        {"AboveHighest", std::nextafter(1024.0f, kInf), 0.0f, 8, 48000, "Invalid rate factor 1024.00012" + kRange},
        {"AboveHighestPitch", 1.0f, std::nextafter(120.0f, kInf), 8, 48000, "Invalid rate factor 1024.00045" + kRange},
        {"Denormal", 1e-40f, 0.0f, 4096, 34665, "Invalid rate factor 9.9999461e-41" + kRange},
        {"TinySpeed", 1e-9f, 0.0f, 4096, 34665, "Invalid rate factor 9.99999972e-10" + kRange},
        {"HugeSpeed", 1e6f, 0.0f, 8, 48000, "Invalid rate factor 1000000" + kRange},
        {"LargestSpeed", kMax, 0.0f, 8, 48000, "Invalid rate factor 3.40282347e+38" + kRange},
        {"InfiniteSpeedLowestPitch", kInf, -kMax, 8, 48000, "Invalid rate factor inf" + kRange},
        {"SemitonesFourHundred", 1.0f, 400.0f, 8, 48000, "Invalid rate factor 1.08226394e+10" + kRange},
        {"SemitonesLowest", 1.0f, -kMax, 8, 48000, "Invalid rate factor 0" + kRange},
        {"NaNSpeed", kNaN, 1e6f, 8, 48000, "Invalid speed nan (must be strictly positive)"},
        {"NaNSemitones", 1e-40f, kNaN, 8, 48000, "Invalid semitones nan (must not be infinite)"},
        {"TooLongOncePrepared", kLow, 0.0f, 44, 1,
         "Failed to load sound [edge] (44 frames at 1 Hz would become 2162688000 at 49152000 Hz, more than "
         "2147483646)"},
        {"NoFramesOncePrepared", 1024.0f, 0.0f, 8, 48000,
         "Failed to load sound [edge] (8 frames at 48000 Hz would become none at 46 Hz)"},
    };
}

// With the null output open nothing is converted: what is refused is
// decided from the arguments, the same on every output.
class LoadBounds : public LoadedCantrelle, public testing::WithParamInterface<LoadCase> {};

TEST_P(LoadBounds, AbsurdLoadsAreRefusedAtOnceSaneOnesLoad) {
    const LoadCase& c = GetParam();
    ASSERT_TRUE(openNullOutput(48000));
    const std::vector<float> samples(c.frames * 2, 0.25f);
    const auto start = std::chrono::steady_clock::now();
    const int32_t id = cl.loadfloat(samples.data(), c.frames * 2, 2, c.frequency, 0, c.speed, c.semitones, 0, "edge");
    const auto took = std::chrono::steady_clock::now() - start;
    if (c.line.empty()) {
        EXPECT_EQ(id, 0);
        EXPECT_THAT(logged(), IsEmpty());
        EXPECT_EQ(cl.getspeed(0), c.speed);
        EXPECT_EQ(cl.getsemitones(0), c.semitones);
    } else {
        EXPECT_EQ(id, -1);
        EXPECT_THAT(logged(), ElementsAre(logLine(c.line)));
        EXPECT_LT(took, kQuickly);
    }
    const float stereo[4] = {0.5f, -0.5f, 0.25f, -0.25f};
    EXPECT_EQ(cl.loadfloat(stereo, 4, 2, 48000, 0, 1.0f, 0.0f, 0, "next"), c.line.empty() ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Table, LoadBounds, testing::ValuesIn(loadCases()),
                         [](const testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.name); });

// Before any output opens the library converts for 48000 Hz with the
// system's converter: the edges load through it, with the lengths their
// factors give. libsoxr gives exactly those frames; Media Foundation (on
// Wine, a GStreamer resampler) keeps back the last few dozen frames of its
// filter's delay, counted at the faster of the two rates, hence the
// tolerance on Windows.
class EdgeConversions : public LoadedCantrelle {
protected:
    void SetUp() override {
#ifdef _WIN32
        // The game owns COM and Media Foundation; both are released again,
        // so later tests in this program find the thread as it was.
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        ASSERT_TRUE(SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_NOSOCKET)));
#endif
        LoadedCantrelle::SetUp();
    }
    void TearDown() override {
        LoadedCantrelle::TearDown();
#ifdef _WIN32
        MFShutdown();
        CoUninitialize();
#endif
    }
};

TEST_F(EdgeConversions, TheBoundsConvertThroughTheSystemConverter) {
#ifdef _WIN32
    constexpr double kDelayFrames = 64;
    constexpr uint32_t kSlowedFrames = 4800;  // 0.1 s, so the delay kept back is a small part
#else
    constexpr double kDelayFrames = 0;
    constexpr uint32_t kSlowedFrames = 48;  // 1 ms: exact, and 1024 times longer is 393 KB, not 39 MB
#endif
    struct Conversion {
        float speed, semitones;
        uint32_t frames, frequency;
        double preparedRate;  // the rate the sound is converted to
    } conversions[] = {
        {kLow, 0.0f, kSlowedFrames, 48000, 49152000},  // 1024 times longer
        {1.0f, -120.0f, kSlowedFrames, 48000, 49152000},
        {1024.0f, 0.0f, 480000, 48000, 46},  // 10 s, 1024 times shorter (46.875 Hz truncated)
        {0.5f, 0.0f, 44100, 44100, 96000},
        {1.0f, 0.0f, 44100, 44100, 48000},
    };
    for (const Conversion& c : conversions) {
        const std::vector<float> samples(c.frames * 2, 0.25f);
        const auto start = std::chrono::steady_clock::now();
        const int32_t id =
            cl.loadfloat(samples.data(), c.frames * 2, 2, c.frequency, 0, c.speed, c.semitones, 0, "edge");
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ASSERT_GE(id, 0) << c.speed << " " << c.semitones << ": " << testing::PrintToString(logged());
        // Each prepared frame plays as one output frame at 48000 Hz.
        const double frames = std::floor(c.frames * c.preparedRate / c.frequency);
        const double tolerance = kDelayFrames * std::max(1.0, c.preparedRate / c.frequency) + 1e-6;
        EXPECT_NEAR(cl.getlength(static_cast<uint32_t>(id)) * 48000.0, frames, tolerance)
            << c.speed << " " << c.semitones;
        EXPECT_LT(took, 20.0) << c.speed << " " << c.semitones;
        cl.unload(static_cast<uint32_t>(id));
    }
    EXPECT_THAT(logged(), IsEmpty());
}

// Four frames at 44100 Hz: libsoxr gives the four frames at 48000 Hz; Media
// Foundation keeps them all back as its filter's delay, and the load is
// refused with a line rather than loaded empty.
TEST_F(EdgeConversions, ASoundTheConverterLeavesEmptyIsRefusedWithALine) {
    const float stereo[8] = {0.5f, -0.5f, 0.25f, -0.25f, 0.0f, 0.0f, -1.0f, 1.0f};
    const int32_t id = cl.loadfloat(stereo, 8, 2, 44100, 0, 1.0f, 0.0f, 0, "blip");
#ifdef _WIN32
    EXPECT_EQ(id, -1);
    EXPECT_THAT(logged(),
                ElementsAre(logLine("Failed to load sound [blip] (4 frames at 44100 Hz became none at 48000 Hz)")));
#else
    ASSERT_EQ(id, 0);
    EXPECT_EQ(cl.getlength(0) * 48000.0, 4.0);
    EXPECT_THAT(logged(), IsEmpty());
#endif
}

}  // namespace
}  // namespace cltest
