#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "fakes/engine_fixture.h"
#include "sound/loading.h"

namespace cl::test {
namespace {

using LoadingTest = EngineTest;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct LoadArgs {
    uint32_t channels = 2;
    uint32_t frequency = 48000;
    uint32_t bus = 0;
    float speed = 1.0f;
    float semitones = 0.0f;
};

TEST_F(LoadingTest, RefusalsCheckedInOrder) {
    struct Case {
        LoadArgs args;
        const char* message;
    } cases[] = {
        {{.channels = 0}, "Invalid channel count 0 (must be 1 or 2)"},
        {{.channels = 3, .frequency = 0}, "Invalid channel count 3 (must be 1 or 2)"},
        {{.frequency = 0}, "Invalid frequency 0 (must be greater than 0)"},
        {{.bus = 4}, "Invalid bus 4 (must be less than 4)"},
        {{.speed = 0.0f}, "Invalid speed 0.000000 (must be strictly positive)"},
        {{.speed = -1.0f, .semitones = kInf}, "Invalid speed -1.000000 (must be strictly positive)"},
        {{.speed = kNaN}, "Invalid speed nan (must be strictly positive)"},
        {{.semitones = kInf}, "Invalid semitones inf (must not be infinite)"},
        {{.semitones = kNaN}, "Invalid semitones nan (must not be infinite)"},
    };
    const float samples[4] = {};
    for (const Case& c : cases) {
        log_.clear();
        EXPECT_EQ(loadFloat(engine_, samples, 4, c.args.channels, c.args.frequency, c.args.bus, c.args.speed,
                            c.args.semitones, false, nullptr),
                  -1);
        EXPECT_EQ(log_.lines().size(), 1u) << c.message;
        EXPECT_TRUE(logged(c.message)) << c.message;
    }
    EXPECT_EQ(engine_.sounds.soundCount(), 0u);
}

TEST_F(LoadingTest, NullDataIsRefusedUnlessEmpty) {
    EXPECT_EQ(loadFloat(engine_, nullptr, 10, 2, 48000, 0, 1, 0, false, nullptr), -1);
    EXPECT_TRUE(logged("Invalid sample data (pData is null but sampleTotal is 10)"));
    const int32_t empty = loadFloat(engine_, nullptr, 0, 2, 48000, 0, 1, 0, false, nullptr);
    ASSERT_EQ(empty, 0);
    EXPECT_EQ(engine_.sounds.lookupSound(0)->sampleCount.load(), 0u);
}

TEST_F(LoadingTest, MonoIsDoubledAndOddStereoLosesItsHalfFrame) {
    std::vector<float> mono(100);
    for (size_t i = 0; i < mono.size(); ++i) mono[i] = static_cast<float>(i);
    const int32_t monoId = loadFloat(engine_, mono.data(), 100, 1, 48000, 1, 1, 0, false, "mono");
    const SoundRecord& m = *engine_.sounds.lookupSound(monoId);
    ASSERT_EQ(m.sourceSampleCount, 200u);
    for (uint32_t i = 0; i < 100; ++i) {
        ASSERT_EQ(m.sourceData[2 * i], static_cast<float>(i));
        ASSERT_EQ(m.sourceData[2 * i + 1], static_cast<float>(i));
    }
    EXPECT_EQ(m.data.load(), m.sourceData);  // 48000 at 48000: not resampled
    EXPECT_EQ(fake_->resampleCalls.load(), 0);
    EXPECT_STREQ(m.name, "mono");
    EXPECT_EQ(m.bus, 1u);

    const int32_t oddId = loadFloat(engine_, mono.data(), 7, 2, 48000, 0, 1, 0, false, nullptr);
    const SoundRecord& odd = *engine_.sounds.lookupSound(oddId);
    EXPECT_EQ(odd.sampleCount.load(), 6u);
    EXPECT_EQ(odd.dataEnd.load(), odd.data.load() + 6);
    EXPECT_STREQ(odd.name, "<unknown>");
}

TEST_F(LoadingTest, RuntimeSpeedWarnsAndIsCleared) {
    const float samples[2] = {};
    const int32_t id = loadFloat(engine_, samples, 2, 2, 48000, 0, 1, 0, true, nullptr);
    ASSERT_EQ(id, 0);
    EXPECT_TRUE(logged("Runtime speed changes are not supported in this build"));
    EXPECT_EQ(engine_.sounds.lookupSound(0)->runtimeSpeed, 0);
}

TEST_F(LoadingTest, FailedAllocationOrResamplerFailsTheLoadWithoutLeaking) {
    const float samples[8] = {};
    engine_.allocateSamples = [](size_t) -> float* { return nullptr; };
    EXPECT_EQ(loadFloat(engine_, samples, 8, 2, 48000, 0, 1, 0, false, "big"), -1);
    EXPECT_TRUE(logged("Failed to load sound [big] (Pointer was null)"));
    engine_.allocateSamples = allocateSamples;

    openFake(48000);
    fake_->resampleThrows = true;
    EXPECT_EQ(loadFloat(engine_, samples, 8, 2, 44100, 0, 1, 0, false, "odd rate"), -1);
    EXPECT_TRUE(logged("Failed to load sound [odd rate] (resampler failed)"));
    EXPECT_EQ(engine_.sounds.soundCount(), 0u);  // leaks would be reported by the sanitizer
}

TEST_F(LoadingTest, HugeMonoCountIsRefusedBeforeItOverflows) {
    const float samples[1] = {};
    EXPECT_EQ(loadFloat(engine_, samples, 0x80000000u, 1, 48000, 0, 1, 0, false, nullptr), -1);
    EXPECT_TRUE(logged("Invalid sample count 2147483648 (a mono sound holds at most 2147483647 samples)"));
}

TEST_F(LoadingTest, SegmentAndDecoderEntryPointsRefuse) {
    const float data[1] = {};
    struct Case {
        const void* data;
        const char* file;
        uint32_t bus;
        float duration;
        const char* message;
    } cases[] = {
        {nullptr, nullptr, 0, 1.0f, "Must specify exactly one of pData and filename"},
        {data, "x.ogg", 0, 1.0f, "Must specify exactly one of pData and filename"},
        {data, nullptr, 5, 1.0f, "Invalid bus 5 (must be less than 4)"},
        {data, nullptr, 0, 0.0f, "Invalid sample section (durationSeconds 0 must be greater than 0)"},
        {data, nullptr, 0, -2.5f, "Invalid sample section (durationSeconds -2 must be greater than 0)"},
        {nullptr, "x.ogg", 0, kNaN, "Invalid sample section (durationSeconds 0 must be greater than 0)"},
        {data, nullptr, 0, kInf, "Decoding is not supported in this build"},
        {data, nullptr, 0, 1.5f, "Decoding is not supported in this build"},
        {data, nullptr, 0, 30000.0f, "Decoding is not supported in this build"},  // 5.8 GB: never allocated
        {data, nullptr, 0, 1e30f, "Failed to allocate 2147483647 frames"},
    };
    static int sectionBuffers = 0;
    engine_.allocateSamples = [](size_t) -> float* {
        ++sectionBuffers;
        return nullptr;
    };
    for (const Case& c : cases) {
        log_.clear();
        EXPECT_EQ(loadSegment(engine_, c.data, c.file, c.bus, 1.0f, 0.0f, false, c.duration), -1) << c.message;
        EXPECT_TRUE(logged(c.message)) << c.message;
    }
    EXPECT_EQ(sectionBuffers, 0);  // nothing to decode into: no buffer, however long the section
    engine_.allocateSamples = allocateSamples;
    log_.clear();
    EXPECT_EQ(loadBytes(engine_), -1);
    EXPECT_EQ(decode(engine_), 0);
    EXPECT_EQ(log_.count("Decoding is not supported in this build"), 2u);
}

TEST_F(LoadingTest, UnloadMarksAndReleasesOnlyWhenRenderingCannotRun) {
    const float samples[2] = {};
    openFake();
    const int32_t a = loadFloat(engine_, samples, 2, 2, 48000, 0, 1, 0, false, nullptr);
    SoundRecord* record = engine_.sounds.lookupSound(a);
    unloadSound(engine_, a);
    EXPECT_EQ(record->stopRequested.load(), 1);
    EXPECT_EQ(record->unscheduleRequested.load(), 1);
    EXPECT_EQ(engine_.sounds.soundCount(), 1u);  // audio runs and is not paused
    unloadSound(engine_, a);
    EXPECT_TRUE(logged("Failed to unload sound 0 (sound does not exist)"));

    freeAudio(engine_);  // releases
    const int32_t b = loadFloat(engine_, samples, 2, 2, 48000, 0, 1, 0, false, nullptr);
    EXPECT_EQ(b, a + 1);
    unloadSound(engine_, b);  // main thread, audio closed: released at once
    EXPECT_EQ(engine_.sounds.soundCount(), 0u);
}

// Factors within their bounds at extreme output rates must still give a
// defined rate, never 0 (a division by zero in a resampler) nor an undefined
// float-to-integer conversion. Factors beyond the bounds are refused
// (load_bounds_test.cpp).
TEST_F(LoadingTest, ExtremeOutputRatesGiveDefinedRates) {
    const float samples[8] = {};
    struct Case {
        uint32_t outputRate;
        uint32_t frequency;
        float speed;
        uint32_t rate;
    } cases[] = {
        {1, 1, 1024.0f, 1},                                 // 1/1024 Hz truncates to 0
        {UINT32_MAX, UINT32_MAX, 1.0f / 1024, UINT32_MAX},  // beyond u32 Hz: saturates
    };
    for (const Case& c : cases) {
        // An engine each: the first sound would be converted for the second rate.
        Engine engine(defaultProviderRegistry(), &LogCapture::sink);
        ASSERT_TRUE(setOutputFormat(engine, SampleFormat::Pcm16, c.outputRate, 2));
        const int32_t id = loadFloat(engine, samples, 8, 2, c.frequency, 0, c.speed, 0.0f, false, nullptr);
        ASSERT_GE(id, 0) << c.outputRate;
        EXPECT_EQ(engine.sounds.lookupSound(id)->frameRate, c.rate);
        EXPECT_EQ(engine.sounds.lookupSound(id)->sampleCount.load(), 8u);  // at its own rate: not converted
    }
    EXPECT_TRUE(log_.lines().empty());
}

}  // namespace
}  // namespace cl::test
