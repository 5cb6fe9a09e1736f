// Seconds and clock frames: a frame's own time (frame / rate, as getclock
// reports it) converts back to that frame, for every frame up to 2^40 at
// the common rates, through startclockfrom and scheduleclock as well as
// the conversion itself; times between frames still truncate toward zero.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "clock/clock.h"
#include "fakes/mixer_fixture.h"
#include "sound/playback.h"
#include "sound/scheduling.h"
#include "sound/sound_record.h"

namespace cl::test {
namespace {

constexpr uint32_t kRates[] = {44100, 48000, 96000};
constexpr int64_t kLargest = int64_t{1} << 40;

double timeOf(int64_t frame, uint32_t rate) { return static_cast<double>(frame) / rate; }

// Frames worth checking through the engine: both ends, around every power
// of two up to 2^40, and a spread of others (the same ones every run).
std::vector<int64_t> sampleFrames(size_t spread) {
    std::vector<int64_t> frames = {0, 1, 2, kLargest - 1, kLargest};
    for (int bit = 1; bit <= 40; ++bit) {
        for (int64_t near : {-1, 0, 1}) frames.push_back((int64_t{1} << bit) + near);
    }
    uint64_t seed = 88172645463325252ULL;
    for (size_t i = 0; i < spread; ++i) {
        seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
        frames.push_back(static_cast<int64_t>(seed % static_cast<uint64_t>(kLargest + 1)));
    }
    return frames;
}

TEST(FrameTimeTest, EveryFramesOwnTimeGivesThatFrameBack) {
    for (uint32_t rate : kRates) {
        SCOPED_TRACE(rate);
        int failures = 0;
        // Every frame of the first 2^20 (about 11 to 24 s), then a spread up to 2^40.
        std::vector<int64_t> frames = sampleFrames(1'000'000);
        for (int64_t frame = 0; frame < (int64_t{1} << 20); ++frame) frames.push_back(frame);
        for (int64_t frame : frames) {
            const int64_t forward = secondsToFrames(timeOf(frame, rate), rate);
            const int64_t backward = secondsToFrames(-timeOf(frame, rate), rate);
            if ((forward != frame || backward != -frame) && failures++ < 5) {
                ADD_FAILURE() << "frame " << frame << " came back as " << forward << " and " << backward;
            }
        }
        EXPECT_EQ(failures, 0);
    }
}

// A stop at a frame's own time lies that many frames after the start, for
// any start: the difference of the two times lost a frame about half the time.
TEST(FrameTimeTest, AScheduledStopAtAFramesTimeLandsOnThatFrame) {
    for (uint32_t rate : kRates) {
        SCOPED_TRACE(rate);
        int failures = 0;
        const std::vector<int64_t> starts = sampleFrames(200'000);
        uint64_t seed = 0x9E3779B97F4A7C15ULL;
        for (int64_t start : starts) {
            seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
            const int64_t frames = static_cast<int64_t>(seed % (uint64_t{1} << 24));
            const double duration = scheduledDuration(timeOf(start, rate), start, timeOf(start + frames, rate), rate);
            if (secondsToFrames(duration, rate) != frames && failures++ < 5) {
                ADD_FAILURE() << frames << " frames from frame " << start << " came back as "
                              << secondsToFrames(duration, rate);
            }
        }
        EXPECT_EQ(failures, 0);
    }
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(scheduledDuration(1.0, 48000, inf, 48000), inf);
    EXPECT_EQ(scheduledDuration(1.0, 0, 3.5, 0), 2.5);  // no rate yet: the plain difference
}

TEST(FrameTimeTest, TimesBetweenFramesTruncateTowardZero) {
    struct Case {
        double seconds;
        uint32_t rate;
        int64_t frame;
    } cases[] = {
        {0.29, 48000, 13920},  // gave 13919: 0.29 * 48000 is a hair below 13920 in doubles
        {-0.29, 48000, -13920},
        {0.1, 44100, 4410},
        {13920.5 / 48000, 48000, 13920},  // half a frame on
        {-13920.5 / 48000, 48000, -13920},
        {13920.999 / 48000, 48000, 13920},
        {0.5 / 96000, 96000, 0},
        {-0.5 / 96000, 96000, 0},
        {std::nextafter(1.0 / 44100, 0.0), 44100, 0},
        {(static_cast<double>(kLargest) + 0.5) / 96000, 96000, kLargest},
        {std::numeric_limits<double>::quiet_NaN(), 48000, 0},
        {1e300, 48000, INT64_MAX},
        {-1e300, 48000, INT64_MIN},
        {5.0, 0, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(secondsToFrames(c.seconds, c.rate), c.frame) << c.seconds << " at " << c.rate;
}

// Through the engine's calls, at each rate the output may open with.
class FrameTimeEngineTest : public MixerTest, public ::testing::WithParamInterface<uint32_t> {
protected:
    void SetUp() override { openFake(GetParam(), SampleFormat::Float32); }
};

TEST_P(FrameTimeEngineTest, StartclockfromScheduleclockAndGetclockAgreeOnEveryFrame) {
    const uint32_t rate = GetParam();
    const auto id = static_cast<uint32_t>(loadConstant(16, 0.5f));
    SoundRecord& record = *engine_.sounds.lookupSound(id);
    for (int64_t frame : sampleFrames(2000)) {
        stopClock(engine_);
        startClockFrom(engine_, timeOf(frame, rate));
        ASSERT_EQ(engine_.clock.clockFrame.load(), frame) << "startclockfrom, frame " << frame;
        ASSERT_EQ(getClock(engine_), timeOf(frame, rate)) << "getclock, frame " << frame;

        stopClock(engine_);  // a stopped clock puts the start in the active queue, where it can be read
        unscheduleSound(engine_, id);
        scheduleClock(engine_, id, timeOf(frame, rate), std::numeric_limits<double>::infinity());
        ASSERT_EQ(record.activeHead.load(), frame) << "scheduleclock, frame " << frame;
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, FrameTimeEngineTest, ::testing::ValuesIn(kRates));

using FrameTimeRenderTest = MixerTest;

TEST_F(FrameTimeRenderTest, ASoundScheduledAtAFramesTimeStartsOnThatFrame) {
    const int32_t id = loadConstant(100, 0.5f);
    startClockFrom(engine_, 0.0);
    scheduleClock(engine_, static_cast<uint32_t>(id), 0.29, std::numeric_limits<double>::infinity());
    const std::vector<float> left = renderLeft(14000);
    size_t first = 0;
    while (first < left.size() && left[first] == 0.0f) first++;
    EXPECT_EQ(first, 13920u);
}

// The stop and the position in the sound land on their frames too.
TEST_F(FrameTimeRenderTest, AScheduledStopAndAStartPositionLandOnTheirFrames) {
    const auto scheduled = static_cast<uint32_t>(loadConstant(1000, 0.5f));
    startClockFrom(engine_, 0.0);
    // 13006 / 48000 - 480 / 48000 came to 479.99... frames.
    scheduleClock(engine_, scheduled, 13006 / 48000.0, 13486 / 48000.0);
    const std::vector<float> left = renderLeft(14000);
    std::vector<size_t> sounding;
    for (size_t i = 0; i < left.size(); ++i) {
        if (left[i] != 0.0f) sounding.push_back(i);
    }
    ASSERT_FALSE(sounding.empty());
    EXPECT_EQ(sounding.front(), 13006u);
    EXPECT_EQ(sounding.size(), 480u);
    EXPECT_EQ(sounding.back(), 13485u);

    const int32_t ramp = loadRamp(20000);
    playFrom(engine_, static_cast<uint32_t>(ramp), 0.29);
    EXPECT_EQ(rampFrame(renderLeft(1)[0]), 13920);
}

}  // namespace
}  // namespace cl::test
