// Converting sounds between rates: the capacity rule, passes of output,
// overlong output cut to the capacity, failures that leave nothing behind,
// and the library converter of the native build.
#include <gmock/gmock.h>

#include <cmath>
#include <numbers>
#include <stdexcept>

#include "audio/resampler.h"
#include "fakes/engine_fixture.h"
#include "fakes/wasapi_fixture.h"
#include "sound/loading.h"
#include "sound/sample_memory.h"
#include "sound/sound_record.h"

namespace cl::test {
namespace {

TEST(ResampleCapacity, IsTheExpectedFramesPlusOneExactAtAnyLength) {
    EXPECT_EQ(resampleCapacity(352800, 44100, 48000), 384008u);  // one second: 48001 frames
    EXPECT_EQ(resampleCapacity(0, 44100, 48000), 8u);
    EXPECT_EQ(resampleCapacity(352800, 44100, 44100), 352808u);
    EXPECT_EQ(resampleCapacity(7, 44100, 48000), 8u);  // no whole frame
    // 2^25 + 1 frames: single precision would round the product.
    const uint64_t frames = (1u << 25) + 1;
    EXPECT_EQ(resampleCapacity(frames * 8, 3, 5), (frames * 5 / 3) * 8 + 8);
}

class ResamplerTest : public WasapiTest {
protected:
    std::vector<float> ramp(uint32_t frames) {
        std::vector<float> samples(frames * 2);
        for (uint32_t i = 0; i < frames * 2; ++i) samples[i] = static_cast<float>(i);
        return samples;
    }
    // Resample through provider 2; returns the floats produced.
    std::vector<float> resample(const std::vector<float>& source, uint32_t from, uint32_t to) {
        float* out = nullptr;
        uint32_t count = 0;
        provider_->Resample(source.data(), static_cast<uint32_t>(source.size()), &out, &count, from, to);
        std::vector<float> result(out, out + count);
        freeSamples(out);
        return result;
    }
};

TEST_F(ResamplerTest, OutputTakenInPassesUntilTheTransformWantsInput) {
    fake_.passBytes = 800;  // 100 frames a pass
    const std::vector<float> out = resample(ramp(441), 44100, 48000);
    ASSERT_EQ(out.size(), 480u * 2);
    EXPECT_EQ(out[2 * 479], 2.0f * (479 * 44100 / 48000));
    EXPECT_EQ(fake_.count("ProcessOutput"), 6u);  // five passes, then the request for input
    EXPECT_EQ(fake_.liveObjects(), 0);
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(ResamplerTest, OverlongOutputIsCutToTheCapacity) {
    fake_.convert = [](const std::vector<uint8_t>& input, uint32_t, uint32_t) {
        std::vector<uint8_t> out(input.size() * 2);
        std::memcpy(out.data(), input.data(), input.size());
        return out;
    };
    fake_.passBytes = 3000;
    const std::vector<float> out = resample(ramp(441), 44100, 48000);
    EXPECT_EQ(out.size(), 481u * 2);  // 3848 bytes
    EXPECT_TRUE(logged("Expected at most 3848 bytes, got 6000"));
    EXPECT_TRUE(logged("Got 3848 bytes without exhausting output (output was truncated)"));
}

TEST_F(ResamplerTest, EmptySourceGivesAnEmptySound) {
    const std::vector<float> out = resample({}, 44100, 48000);
    EXPECT_TRUE(out.empty());
}

TEST_F(ResamplerTest, AFailingStepThrowsAndReleasesEverything) {
    for (const char* call : {"CoCreateInstance(Resampler)", "SetTypes", "ProcessInput", "ProcessOutput"}) {
        FakeAudioPlatform& fake = fake_;
        fake.script(call, {platform::kFail});
        float* out = nullptr;
        uint32_t count = 77;
        const std::vector<float> source = ramp(441);
        EXPECT_THROW(
            {
                try {
                    provider_->Resample(source.data(), 882, &out, &count, 44100, 48000);
                } catch (const std::runtime_error& error) {
                    EXPECT_STREQ(error.what(), "Operation failed");
                    throw;
                }
            },
            std::runtime_error)
            << call;
        EXPECT_EQ(out, nullptr) << call;  // nothing handed over, nothing leaked
        EXPECT_EQ(count, 77u) << call;
        EXPECT_EQ(fake.liveObjects(), 0) << call;
    }
}

TEST_F(ResamplerTest, AConversionBeyondSampleCountsIsRefusedBeforeTheTransformExists) {
    const std::vector<float> source = ramp(441);
    float* out = nullptr;
    uint32_t count = 0;
    // 441 frames from 1 Hz to 4294967295 Hz: 1.9e12 frames.
    EXPECT_THROW(provider_->Resample(source.data(), 882, &out, &count, 1, UINT32_MAX), std::runtime_error);
    EXPECT_TRUE(fake_.calls().empty()) << testing::PrintToString(fake_.calls());
    EXPECT_EQ(out, nullptr);
}

TEST_F(ResamplerTest, LoadWhoseConversionFailsIsRefusedAndOpeningGoesOn) {
    std::vector<float> samples = ramp(441);
    fake_.script("ProcessInput", {platform::kFail});
    EXPECT_EQ(loadFloat(engine_, samples.data(), 882, 2, 44100, 0, 1.0f, 0.0f, false, "tone"), -1);
    EXPECT_TRUE(logged("Failed to load sound [tone] (Operation failed)"));

    const int32_t id = loadFloat(engine_, samples.data(), 882, 2, 44100, 0, 1.0f, 0.0f, false, "tone");
    ASSERT_EQ(id, 0);
    EXPECT_EQ(engine_.sounds.lookupSound(id)->sampleCount.load(), 960u);

    // Reconverted for the device's 96000: it fails, the sound keeps its
    // source samples, the output opens all the same.
    fake_.mixFormat = formatBytes(extensibleFormat(SampleFormat::Float32, 96000, 3));
    fake_.script("ProcessInput", {platform::kFail});
    ASSERT_TRUE(init());
    EXPECT_TRUE(logged("Failed to convert sound 0 [tone] for the output rate (Operation failed)"));
    const SoundRecord& record = *engine_.sounds.lookupSound(id);
    EXPECT_EQ(record.data.load(), record.sourceData);
    EXPECT_EQ(record.sampleCount.load(), 882u);
}

// ---- The native build's converter ------------------------------------------

using NativeResampleTest = EngineTest;

std::vector<float> sine(double hz, uint32_t rate, uint32_t frames) {
    std::vector<float> samples(frames * 2);
    for (uint32_t i = 0; i < frames; ++i) {
        samples[2 * i] = samples[2 * i + 1] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * hz * i / rate));
    }
    return samples;
}

TEST_F(NativeResampleTest, ConvertsInPhaseFromTheFirstFrameWithinTheCapacity) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows converts with Media Foundation (the Wine tests)";
#endif
    const std::vector<float> tone = sine(1000.0, 44100, 44100);
    const int32_t id = loadFloat(engine_, tone.data(), 88200, 2, 44100, 0, 1.0f, 0.0f, false, nullptr);
    ASSERT_GE(id, 0);
    const SoundRecord& record = *engine_.sounds.lookupSound(id);
    ASSERT_EQ(record.sampleCount.load(), 96000u);  // 48000 frames, within the 48001 allowed
    const float* data = record.data.load();
    // The tone at 48000, no filter delay: even the first frames match.
    double error = 0.0;
    for (uint32_t i = 0; i < 48000; ++i) {
        const double ideal = 0.5 * std::sin(2 * std::numbers::pi * 1000.0 * i / 48000);
        if (i >= 64 && i < 47936) error = std::max(error, std::abs(data[2 * i] - ideal));
        ASSERT_NEAR(data[2 * i], ideal, 0.01) << i;
        ASSERT_EQ(data[2 * i], data[2 * i + 1]);
    }
    EXPECT_LT(error, 1e-4);
}

TEST_F(NativeResampleTest, SpeedTwoHalvesTheLength) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows converts with Media Foundation (the Wine tests)";
#endif
    const std::vector<float> tone = sine(440.0, 44100, 44100);
    const int32_t id = loadFloat(engine_, tone.data(), 88200, 2, 44100, 0, 2.0f, 0.0f, false, nullptr);
    ASSERT_GE(id, 0);
    EXPECT_EQ(engine_.sounds.lookupSound(id)->sampleCount.load(), 48000u);  // 24000 frames: half a second
}

}  // namespace
}  // namespace cl::test
