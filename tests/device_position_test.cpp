// The device position report: the clock's units turned into frames, and
// the hand-off between the audio thread that publishes it and its readers.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "audio/device_clock.h"
#include "audio/device_position.h"

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

// A real writer publishing as fast as it can against a reader: every report
// read is one the writer published whole, and they never go backwards.
TEST(DevicePositionConcurrencyTest, ReadersSeeWholeReportsInOrder) {
    LatestDevicePosition latest;
    EXPECT_EQ(latest.read().reports, 0u);
    constexpr uint64_t kReports = 200000;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (uint64_t n = 1; n <= kReports; ++n) latest.publish(n * 3, n * 5, n * 7);
        done.store(true);
    });
    uint64_t last = 0;
    uint64_t mixed = 0;
    uint64_t backwards = 0;
    while (!done.load()) {
        const DevicePosition position = latest.read();
        mixed += position.frame != position.reports * 3 || position.qpcTime != position.reports * 5 ||
                 position.framesWritten != position.reports * 7;
        backwards += position.reports < last;
        last = position.reports;
    }
    writer.join();
    EXPECT_EQ(mixed, 0u);
    EXPECT_EQ(backwards, 0u);
    EXPECT_EQ(latest.read().reports, kReports);
    latest.reset();
    EXPECT_EQ(latest.read().reports, 0u);
}

}  // namespace
}  // namespace cl::test
