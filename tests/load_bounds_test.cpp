// What one load may cost: the rate factor's bounds, and sizes decided from
// the rates before anything is allocated or converted. An absurd load is
// refused at once with its line; a sane one at the very edges loads as it
// always did.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "fakes/engine_fixture.h"
#include "sound/loading.h"
#include "sound/sound_preparation.h"

namespace cl::test {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kMax = std::numeric_limits<float>::max();
constexpr float kDenormal = std::numeric_limits<float>::denorm_min();  // 2^-149
constexpr float kLow = 1.0f / 1024.0f;

// A refusal is arithmetic and one line: this leaves room for a slow,
// shared machine and the sanitizers, and is still far below the seconds a
// conversion of an absurd load took.
constexpr auto kQuickly = std::chrono::milliseconds(250);

// Every sample buffer the engine asks for, counted.
int samplesAllocated = 0;
float* countingAllocator(size_t count) {
    ++samplesAllocated;
    return allocateSamples(count);
}

class LoadBoundsTest : public EngineTest {
protected:
    LoadBoundsTest() {
        openFake(48000);
        samplesAllocated = 0;
        engine_.allocateSamples = countingAllocator;
    }

    // Loads `frames` frames of stereo; returns the id and how long it took.
    int32_t load(uint32_t frames, uint32_t frequency, float speed, float semitones,
                 std::chrono::steady_clock::duration* took = nullptr) {
        const std::vector<float> samples(frames * 2, 0.25f);
        const auto start = std::chrono::steady_clock::now();
        const int32_t id =
            loadFloat(engine_, samples.data(), frames * 2, 2, frequency, 0, speed, semitones, false, "edge");
        if (took != nullptr) *took = std::chrono::steady_clock::now() - start;
        return id;
    }
};

struct FactorCase {
    const char* name;
    float speed;
    float semitones;
    uint32_t frames;  // stereo frames at 48000 Hz
    // Refused: the one line. Loaded: empty, and the rate and frames below.
    std::string line;
    uint32_t rate = 0;
    uint32_t preparedFrames = 0;
};

void PrintTo(const FactorCase& c, std::ostream* out) { *out << c.name; }

const std::string kRange = " (speed * 2^(semitones/12) must be in [1/1024, 1024])";

std::vector<FactorCase> factorCases() {
    return {
        // The bounds themselves load, by speed, by pitch and by both.
        {"LowestBySpeed", kLow, 0.0f, 8, "", 49152000, 8192},
        {"LowestByPitch", 1.0f, -120.0f, 8, "", 49152000, 8192},
        {"LowestByBoth", 0.5f, -108.0f, 8, "", 49152000, 8192},
        {"HighestBySpeed", 1024.0f, 0.0f, 48000, "", 46, 46},
        {"HighestByPitch", 1.0f, 120.0f, 48000, "", 46, 46},
        {"HighestByBoth", 2.0f, 108.0f, 48000, "", 46, 46},
        // One float step beyond them does not.
        {"BelowLowestSpeed", std::nextafter(kLow, 0.0f), 0.0f, 8, "Invalid rate factor 0.000976562442" + kRange},
        {"BelowLowestPitch", 1.0f, std::nextafter(-120.0f, -kInf), 8, "Invalid rate factor 0.00097656207" + kRange},
        {"AboveHighestSpeed", std::nextafter(1024.0f, kInf), 0.0f, 48000, "Invalid rate factor 1024.00012" + kRange},
        {"AboveHighestPitch", 1.0f, std::nextafter(120.0f, kInf), 48000, "Invalid rate factor 1024.00045" + kRange},
        {"OneSemitoneAbove", 1.0f, 121.0f, 48000, "Invalid rate factor 1084.89021" + kRange},
        // Denormal speeds: refused, unless the pitch brings the factor back.
        {"SmallestDenormal", kDenormal, 0.0f, 8, "Invalid rate factor 1.40129846e-45" + kRange},
        {"Denormal", 1e-40f, 0.0f, 8, "Invalid rate factor 9.9999461e-41" + kRange},
        {"TinyNormal", 1e-9f, 0.0f, 8, "Invalid rate factor 9.99999972e-10" + kRange},
        {"DenormalRaisedByPitch", kDenormal, 1788.0f, 8, "", 48000, 8},
        // Huge speeds and pitches, and their products.
        {"HugeSpeed", 1e6f, 0.0f, 8, "Invalid rate factor 1000000" + kRange},
        {"LargestSpeed", kMax, 0.0f, 8, "Invalid rate factor 3.40282347e+38" + kRange},
        {"InfiniteSpeed", kInf, 0.0f, 8, "Invalid rate factor inf" + kRange},
        {"InfiniteSpeedLowestPitch", kInf, -kMax, 8, "Invalid rate factor inf" + kRange},  // never inf x 0
        {"LargestSpeedLoweredByPitch", kMax, -1536.0f, 8, "", 48000, 8},
        {"SemitonesFourHundred", 1.0f, 400.0f, 8, "Invalid rate factor 1.08226394e+10" + kRange},
        {"SemitonesMillion", 1.0f, 1e6f, 8, "Invalid rate factor inf" + kRange},
        {"SemitonesLargest", 1.0f, kMax, 8, "Invalid rate factor inf" + kRange},
        {"SemitonesLowest", 1.0f, -kMax, 8, "Invalid rate factor 0" + kRange},
        {"SemitonesMinusMillion", 1.0f, -1e6f, 8, "Invalid rate factor 0" + kRange},
        {"TinySpeedHugePitch", kDenormal, kMax, 8, "Invalid rate factor inf" + kRange},
        // The checks before it keep their order and text.
        {"NaNSpeed", kNaN, 1e6f, 8, "Invalid speed nan (must be strictly positive)"},
        {"NegativeZeroSpeed", -0.0f, 0.0f, 8, "Invalid speed -0.000000 (must be strictly positive)"},
        {"NaNSemitones", 1e-40f, kNaN, 8, "Invalid semitones nan (must not be infinite)"},
        {"InfiniteSemitones", kInf, -kInf, 8, "Invalid semitones -inf (must not be infinite)"},
    };
}

class RateFactorEdge : public LoadBoundsTest, public testing::WithParamInterface<FactorCase> {};

TEST_P(RateFactorEdge, IsRefusedAtOnceOrLoadsAsBefore) {
    const FactorCase& c = GetParam();
    std::chrono::steady_clock::duration took{};
    const int32_t id = load(c.frames, 48000, c.speed, c.semitones, &took);
    if (!c.line.empty()) {
        EXPECT_EQ(id, -1);
        EXPECT_EQ(log_.takeBodies(), std::vector<std::string>{c.line});
        EXPECT_EQ(samplesAllocated, 0) << "refused after allocating";
        EXPECT_EQ(fake_->resampleCalls.load(), 0) << "refused after converting";
        EXPECT_LT(took, kQuickly);
        EXPECT_EQ(engine_.sounds.soundCount(), 0u);
        return;
    }
    ASSERT_GE(id, 0);
    EXPECT_TRUE(log_.takeBodies().empty());
    const SoundRecord& record = *engine_.sounds.lookupSound(id);
    EXPECT_EQ(record.frameRate, c.rate);
    EXPECT_EQ(record.sampleCount.load(), c.preparedFrames * 2);
    EXPECT_EQ(record.speed, c.speed);
    EXPECT_EQ(record.semitones, c.semitones);
}

INSTANTIATE_TEST_SUITE_P(Table, RateFactorEdge, testing::ValuesIn(factorCases()),
                         [](const testing::TestParamInfo<FactorCase>& info) { return std::string(info.param.name); });

// The factor the record keeps is the one checked, in single precision.
TEST(RateFactor, IsExactAtPowersOfTwoAndNeverNaN) {
    EXPECT_EQ(rateFactor(1.0f, 0.0f), 1.0);
    EXPECT_EQ(rateFactor(kLow, 0.0f), kMinRateFactor);
    EXPECT_EQ(rateFactor(1.0f, 120.0f), kMaxRateFactor);
    EXPECT_EQ(rateFactor(2.0f, 12.0f), 4.0);
    EXPECT_EQ(rateFactor(kDenormal, 1788.0f), 1.0);
    EXPECT_EQ(static_cast<float>(rateFactor(0.75f, 0.0f)), 0.75f);
    EXPECT_EQ(static_cast<float>(rateFactor(1.0f, 7.0f)), std::exp2(7.0f / 12.0f));
    EXPECT_EQ(rateFactor(kInf, -kMax), kInf);
    EXPECT_EQ(rateFactor(kMax, kMax), kInf);
    EXPECT_EQ(rateFactor(kDenormal, -kMax), 0.0);
}

// ---- Sizes decided before converting -----------------------------------------

TEST_F(LoadBoundsTest, ASoundTooLongOncePreparedIsRefusedBeforeItIsCopied) {
    // 44 frames at 1 Hz, 1024 times slower, at 48000: 2162688000 frames.
    std::chrono::steady_clock::duration took{};
    EXPECT_EQ(load(44, 1, kLow, 0.0f, &took), -1);
    EXPECT_EQ(log_.takeBodies(),
              std::vector<std::string>{
                  "Failed to load sound [edge] (44 frames at 1 Hz would become 2162688000 at 49152000 Hz, more "
                  "than 2147483646)"});
    EXPECT_EQ(samplesAllocated, 0);
    EXPECT_EQ(fake_->resampleCalls.load(), 0);
    EXPECT_LT(took, kQuickly);

    // The same sound at a sane speed is far from the limit.
    EXPECT_EQ(load(44, 1, 1.0f, 0.0f), 0);
    EXPECT_EQ(engine_.sounds.lookupSound(0)->sampleCount.load(), 44u * 48000 * 2);
    EXPECT_TRUE(log_.takeBodies().empty());
}

TEST_F(LoadBoundsTest, ASoundThatWouldHoldNoFramesIsRefused) {
    EXPECT_EQ(load(8, 48000, 1024.0f, 0.0f), -1);
    EXPECT_EQ(log_.takeBodies(), std::vector<std::string>{
                                     "Failed to load sound [edge] (8 frames at 48000 Hz would become none at 46 Hz)"});
    EXPECT_EQ(load(1, 48000, 2.0f, 0.0f), -1);
    EXPECT_EQ(
        log_.takeBodies(),
        std::vector<std::string>{"Failed to load sound [edge] (1 frame at 48000 Hz would become none at 24000 Hz)"});
    EXPECT_EQ(samplesAllocated, 0);
    EXPECT_EQ(fake_->resampleCalls.load(), 0);

    // Two frames are one at twice the speed; an empty sound stays loadable.
    EXPECT_EQ(load(2, 48000, 2.0f, 0.0f), 0);
    EXPECT_EQ(engine_.sounds.lookupSound(0)->sampleCount.load(), 2u);
    EXPECT_EQ(loadFloat(engine_, nullptr, 0, 2, 44100, 0, 1024.0f, 0.0f, false, nullptr), 1);
    EXPECT_EQ(engine_.sounds.lookupSound(1)->sampleCount.load(), 0u);
    EXPECT_TRUE(log_.takeBodies().empty());
}

TEST_F(LoadBoundsTest, AConverterThatGivesNoFramesFailsTheLoad) {
    fake_->resampleEmpty = true;
    EXPECT_EQ(load(441, 44100, 1.0f, 0.0f), -1);
    EXPECT_EQ(log_.takeBodies(),
              std::vector<std::string>{"Failed to load sound [edge] (441 frames at 44100 Hz became none at 48000 Hz)"});
    EXPECT_EQ(engine_.sounds.soundCount(), 0u);  // the sanitizer reports a leaked buffer
}

// An output-rate change decides each sound's size before converting it, and
// fails the sounds that cannot be kept as it fails a conversion: the sound
// stays on its source samples, with one line after the change.
TEST_F(LoadBoundsTest, AReconversionThatWouldNotFitFailsThatSoundBeforeConverting) {
    fake_->resamples = false;  // loaded as a provider that does not convert
    ASSERT_EQ(load(44, 1, 1.0f, 0.0f), 0);
    ASSERT_EQ(load(1, 48000, 1.0f, 0.0f), 1);
    ASSERT_EQ(load(4, 48000, 1.0f, 0.0f), 2);
    fake_->resamples = true;
    const int before = fake_->resampleCalls.load();
    samplesAllocated = 0;

    // 50 MHz: the first would hold 2200000000 frames. Then 24 kHz, where the
    // second would hold none.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(setOutputFormat(engine_, SampleFormat::Float32, 50000000, 2));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));  // 5000 frames converted
    std::vector<std::string> lines = log_.takeBodies();
    EXPECT_EQ(lines, std::vector<std::string>{"Failed to convert sound 0 [edge] for the output rate (44 frames at 1 Hz "
                                              "would become 2200000000 at 50000000 Hz, more than 2147483646)"});
    EXPECT_EQ(fake_->resampleCalls.load(), before + 2);  // the other two only
    const SoundRecord& big = *engine_.sounds.lookupSound(0);
    EXPECT_EQ(big.data.load(), big.sourceData);
    EXPECT_EQ(big.sampleCount.load(), 88u);

    ASSERT_TRUE(setOutputFormat(engine_, SampleFormat::Float32, 24000, 2));
    EXPECT_EQ(log_.takeBodies(), std::vector<std::string>{"Failed to convert sound 1 [edge] for the output rate (1 "
                                                          "frame at 48000 Hz would become none at 24000 Hz)"});
    const SoundRecord& single = *engine_.sounds.lookupSound(1);
    EXPECT_EQ(single.data.load(), single.sourceData);
    EXPECT_EQ(single.sampleCount.load(), 2u);
    EXPECT_EQ(engine_.sounds.lookupSound(0)->sampleCount.load(), 44u * 24000 * 2);
    EXPECT_EQ(engine_.sounds.lookupSound(2)->sampleCount.load(), 4u);
}

}  // namespace
}  // namespace cl::test
