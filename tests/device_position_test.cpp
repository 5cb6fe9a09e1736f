// The device position report: the clock's units turned into frames.
#include <gtest/gtest.h>

#include "audio/device_clock.h"

namespace cl::test {
namespace {

TEST(DevicePositionTest, ClockUnitsBecomeFramesAtTheOutputRate) {
    struct Case {
        uint64_t position, frequency;
        uint32_t rate;
        uint64_t frames;
    };
    for (Case c : {Case{800, 384000, 48000, 100},                     // bytes of float stereo, shared mode
                   Case{807, 384000, 48000, 100},                     // a partial frame is not played yet
                   Case{10000000, 10000000, 44100, 44100},            // a 10 MHz clock: one second
                   Case{96000, 96000, 192000, 192000},                // frames at another rate
                   Case{UINT64_MAX, 384000, 192000, UINT64_MAX / 2},  // no overflow on the way
                   Case{1000, 0, 48000, 0}}) {
        EXPECT_EQ(positionFrames(c.position, c.frequency, c.rate), c.frames) << c.position << " / " << c.frequency;
    }
}

}  // namespace
}  // namespace cl::test
