#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "fakes/mixer_fixture.h"
#include "mixer/limiter_controls.h"

namespace cl::test {
namespace {

using LimiterTest = MixerTest;

TEST_F(LimiterTest, OffByDefault) {
    play(loadConstant(16, 4.0f));
    const std::vector<float> out = renderLeft(16);
    EXPECT_EQ(out[0], 1.0f);  // clipped, not limited
    EXPECT_EQ(takeLimiterScale(engine_), 1.0f);
    EXPECT_EQ(takeMaxSample(engine_), 4.0f);  // measured before clipping
    EXPECT_EQ(takeMaxSample(engine_), 0.0f);  // reset by the read
}

// -6 dB, 100 ms at 48000: one frame at 1.0 engages the limiter, and the gain
// climbs back in a straight line over 4800 frames. A quiet tone after the
// peak makes the gain visible in the output.
TEST_F(LimiterTest, InstantAttackAndLinearRelease) {
    setLimiterThreshold(engine_, -6.0f);
    setLimiterRelease(engine_, 100.0f);
    std::vector<float> signal(6000, 0.1f);
    signal[0] = 1.0f;
    play(loadFrames(signal, signal));
    const std::vector<float> out = renderLeft(6000);

    const float threshold = static_cast<float>(std::pow(10.0, -6.0 / 20.0));
    EXPECT_FLOAT_EQ(out[0], threshold);  // the peak lands exactly on the threshold
    auto gainAt = [&](size_t frame) { return out[frame] / 0.1f; };
    EXPECT_NEAR(gainAt(1), threshold + (1 - threshold) / 4800, 1e-5);
    EXPECT_NEAR(gainAt(2400), (threshold + 1) / 2, 1e-3);
    for (size_t i = 2; i < 4800; ++i) ASSERT_GT(gainAt(i), gainAt(i - 1)) << i;
    EXPECT_EQ(gainAt(4800), 1.0f);
    EXPECT_EQ(gainAt(5999), 1.0f);
    EXPECT_NEAR(takeLimiterScale(engine_), 0.501f, 1e-3);
    EXPECT_EQ(takeLimiterScale(engine_), 1.0f);
}

TEST_F(LimiterTest, NewPeakDuringReleaseEngagesOnlyAboveTheThresholdAtTheCurrentGain) {
    setLimiterThreshold(engine_, -6.0f);
    setLimiterRelease(engine_, 100.0f);
    std::vector<float> signal(200, 0.0f);
    signal[0] = 1.0f;
    signal[100] = 0.9f;  // 0.9 x gain(~0.51) stays under the threshold: no new attack
    signal[150] = 2.0f;  // engages again, lower
    play(loadFrames(signal, signal));
    const std::vector<float> out = renderLeft(200);
    const float threshold = static_cast<float>(std::pow(10.0, -6.0 / 20.0));
    EXPECT_LT(out[100], threshold);
    EXPECT_FLOAT_EQ(out[150], threshold);
    EXPECT_NEAR(takeLimiterScale(engine_), threshold / 2.0f, 1e-6);
}

TEST_F(LimiterTest, MinusInfiniteThresholdMutesWithoutNaN) {
    setLimiterThreshold(engine_, -std::numeric_limits<float>::infinity());
    setLimiterRelease(engine_, 10.0f);
    std::vector<float> signal = {0.0f, 0.5f, 0.0f, 1.0f};
    play(loadFrames(signal, signal));
    for (float s : renderLeft(4)) EXPECT_EQ(s, 0.0f);
    EXPECT_EQ(takeLimiterScale(engine_), 0.0f);
}

TEST_F(LimiterTest, SettersClampAndReleaseZeroStopsNewAttacks) {
    setLimiterThreshold(engine_, 3.0f);
    EXPECT_EQ(engine_.limiter.limiterThresholdDb.load(), 0.0f);
    EXPECT_EQ(engine_.limiter.limiterThreshold.load(), 1.0f);
    setLimiterRelease(engine_, -5.0f);
    EXPECT_EQ(engine_.limiter.limiterReleaseMs.load(), 0.0f);
    play(loadConstant(4, 2.0f));
    renderLeft(4);
    EXPECT_EQ(takeLimiterScale(engine_), 1.0f);
}

}  // namespace
}  // namespace cl::test
