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

}  // namespace
}  // namespace cl::test
