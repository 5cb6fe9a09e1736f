#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "clock/clock.h"
#include "fakes/mixer_fixture.h"

namespace cl::test {
namespace {

// Output open at 48000 frames per second; the test's thread is the main thread.
using ClockTest = MixerTest;
// Output never opened: no main thread yet.
using ClockBeforeAudioTest = EngineTest;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST_F(ClockTest, StartsWhereToldAndAdvancesByTheRenderedFrames) {
    EXPECT_EQ(getClock(engine_), 0.0);
    EXPECT_FALSE(clockRunning(engine_));

    startClockFrom(engine_, 2.5);
    EXPECT_TRUE(clockRunning(engine_));
    EXPECT_EQ(engine_.clock.clockFrame.load(), 120000);
    EXPECT_EQ(getClock(engine_), 2.5);

    render(1000);  // no sound loaded: one silent pass over the whole period
    EXPECT_EQ(engine_.clock.clockFrame.load(), 121000);
    play(loadConstant(100, 0.5f));
    render(1500);  // the mixer's 512-frame blocks
    EXPECT_EQ(engine_.clock.clockFrame.load(), 122500);
    EXPECT_EQ(getClock(engine_), 122500.0 / 48000.0);
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(ClockTest, StartTimeTruncatesTowardZeroAndSaturates) {
    struct Case {
        double seconds;
        int64_t frame;
    } cases[] = {
        {-0.01, -480},       // negative times count up through 0
        {1.0 / 96000.0, 0},  // half a frame
        {-1.0 / 96000.0, 0},
        {1e300, INT64_MAX - 1},       // never the value the render cannot pass
        {-1e300, kClockStopped + 1},  // never the stopped marker
    };
    for (const Case& c : cases) {
        stopClock(engine_);
        startClockFrom(engine_, c.seconds);
        EXPECT_EQ(engine_.clock.clockFrame.load(), c.frame) << c.seconds;
        EXPECT_TRUE(clockRunning(engine_)) << c.seconds;
    }

    stopClock(engine_);
    startClockFrom(engine_, -0.01);
    render(1000);
    EXPECT_EQ(engine_.clock.clockFrame.load(), 520);
    startClockFrom(engine_, 1e300);
    render(1000);
    EXPECT_EQ(engine_.clock.clockFrame.load(), INT64_MAX - 1);  // pinned, still running
    EXPECT_TRUE(clockRunning(engine_));
}

TEST_F(ClockTest, StoppedClockKeepsItsTime) {
    startClockFrom(engine_, 2.5);
    render(24000);
    stopClock(engine_);
    EXPECT_FALSE(clockRunning(engine_));
    EXPECT_EQ(getClock(engine_), 3.0);
    render(480);  // a stopped clock does not advance
    EXPECT_EQ(getClock(engine_), 3.0);
    stopClock(engine_);  // stopping again changes nothing
    EXPECT_FALSE(clockRunning(engine_));
    EXPECT_EQ(getClock(engine_), 3.0);

    startClockFrom(engine_, 1.0);  // from a stopped clock: no warning
    EXPECT_EQ(getClock(engine_), 1.0);
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(ClockTest, NonFiniteStartIsRefusedAndLeavesTheClockAlone) {
    for (bool running : {false, true}) {
        if (running) startClockFrom(engine_, 1.0);
        const int64_t before = engine_.clock.clockFrame.load();
        for (double seconds : {kInf, -kInf, kNaN}) {
            log_.clear();
            startClockFrom(engine_, seconds);
            EXPECT_TRUE(logged("Failed to start clock (clock time must be finite)")) << seconds;
            EXPECT_EQ(log_.lines().size(), 1u) << seconds;  // no "still running" warning either
            EXPECT_EQ(engine_.clock.clockFrame.load(), before) << seconds;
        }
    }
}

std::vector<std::string>& levelTwoLines() {
    static std::vector<std::string> lines;
    return lines;
}
void captureLevelTwo(const char* line) { levelTwoLines().push_back(LogCapture::body(line)); }

TEST_F(ClockTest, RestartingARunningClockWarnsAndJumps) {
    // Level 2 gets a receiver of its own; levels 3 and up go on to the capture.
    levelTwoLines().clear();
    engine_.log.setCallback(2, captureLevelTwo);
    engine_.log.setCallback(3, LogCapture::sink);

    startClockFrom(engine_, 1.0);
    render(100);
    startClockFrom(engine_, 5.0);
    EXPECT_EQ(levelTwoLines(),
              std::vector<std::string>{"Clock was still running (you should typically stop the clock before "
                                       "scheduling if you are restarting the clock)"});
    EXPECT_TRUE(log_.lines().empty());
    EXPECT_EQ(engine_.clock.clockFrame.load(), 240000);
}

TEST_F(ClockTest, OtherThreadsMayOnlyReadTheClockWhileAudioIsOpen) {
    startClockFrom(engine_, 2.0);
    double seen = 0.0;
    bool running = false;
    std::thread([&] {
        startClockFrom(engine_, 7.0);
        stopClock(engine_);
        seen = getClock(engine_);
        running = clockRunning(engine_);
    }).join();
    EXPECT_TRUE(logged("Failed to start clock (must be started on the main thread)"));
    EXPECT_TRUE(logged("Failed to stop clock (must be stopped on the main thread)"));
    EXPECT_EQ(seen, 2.0);
    EXPECT_TRUE(running);
    EXPECT_EQ(engine_.clock.clockFrame.load(), 96000);
}

TEST_F(ClockBeforeAudioTest, AnyThreadMayDriveTheClockWhileAudioIsClosed) {
    std::thread([&] { startClockFrom(engine_, 1.0); }).join();
    EXPECT_TRUE(clockRunning(engine_));
    EXPECT_EQ(engine_.clock.clockFrame.load(), 48000);  // the default rate
    std::thread([&] { stopClock(engine_); }).join();
    EXPECT_FALSE(clockRunning(engine_));
    EXPECT_EQ(getClock(engine_), 1.0);

    openFake();
    freeAudio(engine_);  // closed again: the rule lapses
    std::thread([&] { startClockFrom(engine_, 2.0); }).join();
    EXPECT_EQ(getClock(engine_), 2.0);
    EXPECT_TRUE(log_.lines().empty());
}

// The audio thread is played by a second thread that holds renderActive and
// lets go only once it sees the clock stopped; stopclock must not return
// before that.
TEST_F(ClockTest, StopWaitsForTheRenderInProgress) {
    startClockFrom(engine_, 1.0);
    engine_.pause.renderActive = 1;
    std::atomic<bool> released{false};
    std::thread audio([&] {
        while (engine_.clock.clockFrame.load() != kClockStopped) std::this_thread::yield();
        released = true;
        engine_.pause.renderActive = 0;
    });
    stopClock(engine_);
    EXPECT_TRUE(released.load());
    audio.join();
    EXPECT_TRUE(log_.lines().empty());
    EXPECT_EQ(getClock(engine_), 1.0);
}

TEST_F(ClockTest, StopGivesUpOnAStuckAudioThreadButStaysStopped) {
    engine_.renderYieldTimeout = std::chrono::milliseconds(5);
    startClockFrom(engine_, 3.0);
    engine_.pause.renderActive = 1;  // an audio thread that never leaves its render
    stopClock(engine_);
    EXPECT_TRUE(logged("StopClock timed out waiting for audio thread to yield"));
    EXPECT_FALSE(clockRunning(engine_));
    EXPECT_EQ(getClock(engine_), 3.0);
    engine_.pause.renderActive = 0;
}

}  // namespace
}  // namespace cl::test
