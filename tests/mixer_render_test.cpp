#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "clock/clock.h"
#include "core/output_format.h"
#include "fakes/mixer_fixture.h"
#include "mixer/limiter_controls.h"
#include "mixer/mix_kernel.h"
#include "mixer/voice_params.h"
#include "sound/output_change.h"
#include "sound/playback.h"
#include "sound/scheduling.h"

namespace cl::test {
namespace {

using MixerRenderTest = MixerTest;

TEST_F(MixerRenderTest, RendersAtMost512FramesPerCall) {
    play(loadConstant(2000, 0.5f));
    std::vector<uint8_t> buffer(1000 * 8);
    uint8_t* next = nullptr;
    uint32_t done = 0;
    ASSERT_EQ(renderBuffer(engine_, buffer.data(), 1000, &next, &done), RenderResult::Rendered);
    EXPECT_EQ(done, 512u);
    EXPECT_EQ(next, buffer.data() + 512 * 8);
    ASSERT_EQ(renderBuffer(engine_, next, 488, &next, &done), RenderResult::Rendered);
    EXPECT_EQ(done, 488u);
    EXPECT_EQ(next, buffer.data() + buffer.size());
}

TEST_F(MixerRenderTest, EmptyTableIsSilentButAdvancesARunningClock) {
    engine_.clock.clockFrame = 100;
    std::vector<uint8_t> buffer(8);
    uint8_t* next = nullptr;
    uint32_t done = 7;
    EXPECT_EQ(renderBuffer(engine_, buffer.data(), 1000, &next, &done), RenderResult::Silent);
    EXPECT_EQ(engine_.clock.clockFrame.load(), 1100);  // the full request, not 512
    EXPECT_EQ(done, 7u);                               // untouched
    engine_.pause.gameAudioPaused = 1;
    renderBuffer(engine_, buffer.data(), 1000, &next, &done);
    EXPECT_EQ(engine_.clock.clockFrame.load(), 1100);
}

// Every format, written from a DC sound of the given value.
TEST_F(MixerRenderTest, SampleFormatsConvertToTheBit) {
    struct Case {
        SampleFormat format;
        float value;
        std::vector<uint8_t> bytes;  // one sample, little-endian
    } cases[] = {
        {SampleFormat::Pcm8, 0.0f, {0x80}},
        {SampleFormat::Pcm8, 1.0f, {0xFF}},
        {SampleFormat::Pcm8, -1.0f, {0x01}},
        {SampleFormat::Pcm16, 1.0f, {0xFF, 0x7F}},
        {SampleFormat::Pcm16, -1.0f, {0x01, 0x80}},
        {SampleFormat::Pcm16, 0.5f, {0xFF, 0x3F}},  // 16383.5 truncates toward zero
        {SampleFormat::Pcm16, -0.5f, {0x01, 0xC0}},
        {SampleFormat::Pcm16, 1.5f, {0xFF, 0x7F}},  // clipped
        {SampleFormat::Pcm24Padded, 1.0f, {0x00, 0xFF, 0xFF, 0x7F}},
        {SampleFormat::Pcm24Padded, -1.0f, {0x00, 0x01, 0x00, 0x80}},
        {SampleFormat::Pcm24Tight, 1.0f, {0xFF, 0xFF, 0x7F}},
        {SampleFormat::Pcm24Tight, -1.0f, {0x01, 0x00, 0x80}},
        {SampleFormat::Pcm32, 1.0f, {0xFF, 0xFF, 0xFF, 0x7F}},
        {SampleFormat::Pcm32, -1.0f, {0x00, 0x00, 0x00, 0x80}},
        {SampleFormat::Pcm32, -4.0f, {0x00, 0x00, 0x00, 0x80}},
        {SampleFormat::Float32, 0.25f, {0x00, 0x00, 0x80, 0x3E}},
        {SampleFormat::Float32, -7.0f, {0x00, 0x00, 0x80, 0xBF}},  // clipped to -1
        {SampleFormat::Pcm16, std::numeric_limits<float>::quiet_NaN(), {0x00, 0x00}},
        {SampleFormat::Pcm32, std::numeric_limits<float>::infinity(), {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(setOutputFormat(engine_, c.format, 48000, 2));
        const int32_t id = loadConstant(4, c.value);
        play(id);
        const std::vector<uint8_t> out = renderBytes(1);
        const size_t width = c.bytes.size();
        ASSERT_EQ(out.size(), 2 * width);
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + width), c.bytes)
            << "format " << static_cast<int>(c.format) << " value " << c.value;
        EXPECT_EQ(std::vector<uint8_t>(out.begin() + width, out.end()), c.bytes);
        unloadSound(engine_, id);
        renderBytes(1);  // lets the mixer drop the voice
    }
}

TEST_F(MixerRenderTest, ExtraChannelsStaySilentAndMonoCarriesTheAverage) {
    ASSERT_TRUE(setOutputFormat(engine_, SampleFormat::Pcm8, 48000, 6));
    play(loadFrames({1.0f, 1.0f}, {-1.0f, -1.0f}));
    const std::vector<uint8_t> six = renderBytes(2);
    EXPECT_EQ(six, (std::vector<uint8_t>{0xFF, 0x01, 0x80, 0x80, 0x80, 0x80, 0xFF, 0x01, 0x80, 0x80, 0x80, 0x80}));

    ASSERT_TRUE(setOutputFormat(engine_, SampleFormat::Float32, 48000, 1));
    play(loadFrames({0.5f}, {0.25f}));
    const std::vector<float> mono = render(1);
    ASSERT_EQ(mono.size(), 1u);
    EXPECT_EQ(mono[0], 0.375f);
}

TEST_F(MixerRenderTest, GainRampsTakeTheSameTimeAtEveryRate) {
    struct Case {
        uint32_t rate;
        uint32_t rampFrames;
    } cases[] = {{48000, 800}, {96000, 1600}, {44100, 735}};
    for (const Case& c : cases) {
        ASSERT_TRUE(setOutputFormat(engine_, SampleFormat::Float32, c.rate, 2));
        const int32_t id = loadConstant(4000, 1.0f);
        setVoiceParam(engine_, id, VoiceParam::Volume, 0.0f);  // idle: takes effect at once
        play(id);
        render(1);
        setVoiceParam(engine_, id, VoiceParam::Volume, 1.0f);  // playing: ramps
        const std::vector<float> out = renderLeft(c.rampFrames + 10);
        // Rises every frame, never overshoots, arrives at the target and stays there.
        for (uint32_t i = 1; i < out.size(); ++i) {
            ASSERT_LE(out[i], 1.0f);
            ASSERT_GE(out[i], out[i - 1]);
        }
        uint32_t reached = 0;
        while (out[reached] != 1.0f) ++reached;
        EXPECT_NEAR(reached + 1, c.rampFrames, 1) << c.rate;  // frame k holds k+1 steps
        stopSound(engine_, id);
        unloadSound(engine_, id);
        render(1);
    }
}

TEST_F(MixerRenderTest, RampRetargetedMidwayNeverPassesEitherTarget) {
    const int32_t id = loadConstant(4000, 1.0f);
    play(id);
    render(1);
    setVoiceParam(engine_, id, VoiceParam::Volume, 0.0f);
    const std::vector<float> down = renderLeft(300);  // 300 of 800 steps down
    EXPECT_NEAR(down.back(), 1.0f - 300 * 0.00125f, 1e-4);
    setVoiceParam(engine_, id, VoiceParam::Volume, 0.75f);  // turns back up
    const std::vector<float> up = renderLeft(400);
    for (size_t i = 1; i < up.size(); ++i) {
        ASSERT_GE(up[i], up[i - 1]);
        ASSERT_LE(up[i], 0.75f);
    }
    EXPECT_EQ(up.back(), 0.75f);
}

TEST_F(MixerRenderTest, BusVolumesScaleTheirBusesAndGlobalScalesAll) {
    play(loadConstant(8, 0.5f, 0));
    play(loadConstant(8, 0.25f, 1));
    engine_.buses.musicVolume.reset(0.5f);
    engine_.buses.globalVolume.reset(0.5f);
    const std::vector<float> out = renderLeft(1);
    EXPECT_EQ(out[0], (0.5f + 0.25f * 0.5f) * 0.5f);
}

TEST_F(MixerRenderTest, LoopWrapsToTheFirstFrame) {
    const int32_t id = loadRamp(3);
    setLoop(engine_, id, true);
    play(id);
    const std::vector<float> out = renderLeft(7);
    std::vector<int64_t> frames;
    for (float s : out) frames.push_back(rampFrame(s));
    EXPECT_EQ(frames, (std::vector<int64_t>{0, 1, 2, 0, 1, 2, 0}));
}

TEST_F(MixerRenderTest, VoiceEndsAtItsLastFrameAndSnapsItsGains) {
    const int32_t id = loadRamp(3);
    play(id);
    render(1);
    setVoiceParam(engine_, id, VoiceParam::Volume, 0.5f);  // ramping when it ends
    const std::vector<float> out = renderLeft(5);
    EXPECT_EQ(out[2], 0.0f);
    const SoundRecord& record = *engine_.sounds.lookupSound(id);
    EXPECT_EQ(record.playPos.load(), nullptr);
    EXPECT_EQ(record.currentLeft.load(), 0.5f);
}

TEST_F(MixerRenderTest, PausedAudioRendersNothingAndSnapsBusVolumes) {
    play(loadConstant(100, 0.5f));
    engine_.buses.musicVolume.target = 0.0f;
    engine_.pause.audioPaused = 1;
    engine_.clock.clockFrame = 10;
    render(64);
    EXPECT_EQ(lastFlags_, static_cast<uint32_t>(RenderResult::Silent));
    EXPECT_EQ(engine_.clock.clockFrame.load(), 10);
    EXPECT_EQ(engine_.buses.musicVolume.current.load(), 0.0f);  // resumes without a ramp
}

// The audio thread neither allocates nor locks: not in the frame loop, not
// on its first render (a thread_local on the render path, for one, is
// allocated on first use on Windows), on either path of the mixing kernel.
TEST_F(MixerRenderTest, RenderNeitherAllocatesNorLocks) {
    const int64_t atStart = allocationCount();
    for (int i = 0; i < 20; ++i) play(loadRamp(1000, i % 4));
    ASSERT_GT(allocationCount(), atStart);  // the watch sees operator new...
    const int64_t beforeMalloc = allocationCount();
    void* volatile block = std::malloc(16);  // volatile: the pair is not optimised away
    std::free(block);
    ASSERT_GT(allocationCount(), beforeMalloc);  // ...and malloc
    const int64_t beforeLock = lockCount();
    std::mutex mutex;
    mutex.lock();
    mutex.unlock();
    std::shared_mutex shared;
    shared.lock_shared();
    shared.unlock_shared();
    ASSERT_GE(lockCount() - beforeLock, 2);  // ...and locks (a read-write lock may take a mutex inside)

    setLoop(engine_, 0, true);
    startClockFrom(engine_, 0.0);
    const MixPath previous = activeMixPath();
    for (MixPath path : {MixPath::Portable, MixPath::Avx2}) {
        if (!useMixPath(path)) continue;
        const int32_t scheduled = loadRamp(1000);
        scheduleClock(engine_, static_cast<uint32_t>(scheduled), getClock(engine_) + 0.01,
                      std::numeric_limits<double>::infinity());
        setVoiceParam(engine_, 3, VoiceParam::Volume, 0.5f);  // a ramp
        std::vector<uint8_t> buffer(2048 * 8);
        int64_t allocated = -1, locked = -1;
        std::thread([&] {  // a fresh thread: its first render counts too
            const RenderingScope rendering;
            const int64_t allocationsBefore = renderAllocationCount(), locksBefore = renderLockCount();
            for (int i = 0; i < 10; ++i) renderPeriod(engine_, buffer.data(), 2048, int64_t{2048} * i);
            allocated = renderAllocationCount() - allocationsBefore;
            locked = renderLockCount() - locksBefore;
        })
            .join();
        EXPECT_EQ(allocated, 0) << static_cast<int>(path);
        EXPECT_EQ(locked, 0) << static_cast<int>(path);
    }
    useMixPath(previous);
}

}  // namespace
}  // namespace cl::test
