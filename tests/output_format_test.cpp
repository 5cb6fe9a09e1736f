#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "core/output_format.h"
#include "fakes/engine_fixture.h"
#include "sound/loading.h"
#include "sound/output_change.h"

namespace cl::test {
namespace {

using OutputFormatTest = EngineTest;

int32_t loadRamp(Engine& engine, uint32_t frames, uint32_t rate, float speed = 1.0f, float semitones = 0.0f) {
    std::vector<float> samples(frames * 2);
    for (uint32_t i = 0; i < frames; ++i) samples[2 * i] = samples[2 * i + 1] = static_cast<float>(i);
    return loadFloat(engine, samples.data(), frames * 2, 2, rate, 0, speed, semitones, false, nullptr);
}

TEST_F(OutputFormatTest, InvalidFormatChangesNothing) {
    struct Case {
        int32_t format;
        uint32_t rate;
        uint32_t channels;
        const char* message;
    } cases[] = {
        {7, 48000, 2, "Unhandled mix format: 7"},
        {0, 48000, 2, "Unhandled mix format: 0"},
        {2, 0, 2, "Frame rate must be non-zero (got 0)"},
        {2, 44100, 0, "Output requires at least 1 channel (got 0)"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(setOutputFormat(engine_, static_cast<SampleFormat>(c.format), c.rate, c.channels));
        EXPECT_TRUE(logged(c.message)) << c.message;
        EXPECT_EQ(engine_.output.outputFormat.load(), SampleFormat::Pcm16);
        EXPECT_EQ(engine_.output.frameRate(), 48000u);
        EXPECT_EQ(engine_.output.outputChannels.load(), 2u);
    }
}

TEST_F(OutputFormatTest, RampStepKeepsRampsAtTheSameDuration) {
    ASSERT_TRUE(setOutputFormat(engine_, SampleFormat::Float32, 96000, 6));
    EXPECT_FLOAT_EQ(engine_.output.rampStep.load(), 0.000625f);
    EXPECT_EQ(engine_.output.outputChannels.load(), 6u);
    ASSERT_TRUE(setOutputFormat(engine_, SampleFormat::Pcm16, 48000, 2));
    EXPECT_EQ(engine_.output.rampStep.load(), 0.00125f);
}

TEST_F(OutputFormatTest, SpeedAndPitchAreBakedIntoTheRate) {
    openFake(48000);
    const SoundRecord& fast = *engine_.sounds.lookupSound(loadRamp(engine_, 4410, 44100, 2.0f));
    EXPECT_EQ(fast.frameRate, 24000u);
    EXPECT_EQ(fast.sampleCount.load(), 2u * 2400);  // 4410 frames at 44100 -> 2400 at 24000
    const SoundRecord& octave = *engine_.sounds.lookupSound(loadRamp(engine_, 480, 48000, 1.0f, 12.0f));
    EXPECT_EQ(octave.frameRate, 24000u);
}

TEST_F(OutputFormatTest, SoundLoadedBeforeOpenIsReconvertedFromItsSource) {
    const int32_t id = loadRamp(engine_, 441, 44100);
    const SoundRecord& record = *engine_.sounds.lookupSound(id);
    EXPECT_EQ(record.frameRate, 48000u);  // prepared for the default rate
    openFake(96000);
    EXPECT_EQ(record.frameRate, 96000u);
    ASSERT_EQ(record.sampleCount.load(), 2u * 960);
    // From the source: frame i of the new data is source frame i*441/960.
    EXPECT_EQ(record.data.load()[2 * 959], 440.0f);
    EXPECT_EQ(record.dataEnd.load(), record.data.load() + 2 * 960);
}

TEST_F(OutputFormatTest, RateChangeKeepsClockVoicesAndScheduleAtTheSameTime) {
    openFake(48000);
    SoundRecord& record = *engine_.sounds.lookupSound(loadRamp(engine_, 48000, 48000));
    float* data = record.data.load();
    record.playPos = data + 2 * 24000;  // halfway
    record.playEnd = data + 2 * 36000;  // scheduled stop at 0.75 s
    record.activeQueue->push({96000, 1.0});
    record.activeHead = 96000;
    record.pendingQueue->push({48000, 1.0});
    record.pendingHead = 48000;
    engine_.clock.clockFrame = 48000;

    ASSERT_TRUE(setOutputFormat(engine_, SampleFormat::Pcm16, 96000, 2));
    EXPECT_EQ(engine_.clock.clockFrame.load(), 96000);
    float* converted = record.data.load();
    EXPECT_EQ(record.playPos.load(), converted + 2 * 48000);
    EXPECT_EQ(record.playEnd.load(), converted + 2 * 72000);
    EXPECT_EQ(record.activeHead.load(), 192000);
    EXPECT_EQ(record.activeQueue->head(), 192000);
    EXPECT_EQ(record.pendingHead.load(), 96000);
    EXPECT_EQ(record.pendingQueue->head(), 96000);
}

TEST_F(OutputFormatTest, StoppedClockKeepsItsTimeAcrossARateChange) {
    engine_.clock.clockStoppedAt = 3 * 48000;
    ASSERT_TRUE(setOutputFormat(engine_, SampleFormat::Pcm16, 96000, 2));
    EXPECT_EQ(engine_.clock.clockStoppedAt, 3 * 96000);
    EXPECT_EQ(engine_.clock.clockFrame.load(), kClockStopped);
}

TEST_F(OutputFormatTest, FailingResamplerLeavesTheSoundOnItsSourceSamples) {
    const int32_t id = loadRamp(engine_, 441, 44100);
    fake_->resampleThrows = true;
    openFake(96000);
    const SoundRecord& record = *engine_.sounds.lookupSound(id);
    EXPECT_TRUE(logged("Failed to convert sound 0 [<unknown>] for the output rate (resampler failed)"));
    EXPECT_EQ(record.data.load(), record.sourceData);
    EXPECT_EQ(record.sampleCount.load(), record.sourceSampleCount);
}

// A load racing an output-rate change must end up prepared for the new rate.
TEST_F(OutputFormatTest, ConcurrencyLoadDuringRateChangeEndsAtTheNewRate) {
    constexpr int kRounds = 40;
    for (int round = 0; round < kRounds; ++round) {
        const uint32_t rate = round % 2 ? 96000 : 44100;
        std::atomic<bool> go{false};
        std::thread loader([&] {
            while (!go.load()) {
            }
            loadRamp(engine_, 64, 48000);
        });
        go = true;
        ASSERT_TRUE(setOutputFormat(engine_, SampleFormat::Pcm16, rate, 2));
        loader.join();
        const uint32_t count = engine_.sounds.soundCount();
        for (uint32_t i = 0; i < count; ++i) ASSERT_EQ(engine_.sounds.slot(i)->frameRate, rate) << "round " << round;
    }
}

}  // namespace
}  // namespace cl::test
