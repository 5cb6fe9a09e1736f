#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

#include "clock/clock.h"
#include "engine/tick.h"
#include "fakes/mixer_fixture.h"
#include "mixer/audio_handoff.h"
#include "sound/scheduling.h"

namespace cl::test {
namespace {

using SchedulingTest = MixerTest;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Output frames where the ramp sound (re)starts: frames showing ramp frame 0.
std::vector<size_t> startsIn(const std::vector<float>& left) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < left.size(); ++i) {
        if (MixerTest::rampFrame(left[i]) == 0) starts.push_back(i);
    }
    return starts;
}

class SchedulingFrames : public SchedulingTest {
protected:
    std::vector<float> renderFor(uint32_t frames) { return renderLeftInPeriods(frames); }
};

TEST_F(SchedulingFrames, StartIsExactToTheFrameFromEitherQueue) {
    for (bool scheduledWhileRunning : {false, true}) {
        for (int64_t frame : {0, 1, 511, 512, 513, 10 * 512 + 7}) {
            stopClock(engine_);
            const int32_t id = loadRamp(100);
            if (scheduledWhileRunning) startClockFrom(engine_, 0.0);  // pushes go to the pending queue
            scheduleClock(engine_, id, at(frame), kInf);
            if (!scheduledWhileRunning) startClockFrom(engine_, 0.0);
            const std::vector<float> out = renderFor(static_cast<uint32_t>(frame) + 20);
            EXPECT_EQ(startsIn(out), std::vector<size_t>{static_cast<size_t>(frame)})
                << "frame " << frame << (scheduledWhileRunning ? " (pending)" : " (active)");
            unloadSound(engine_, id);
        }
    }
}

TEST_F(SchedulingFrames, LateStartBeginsThatManyFramesIn) {
    const int32_t id = loadRamp(1000);
    startClockFrom(engine_, at(1000));
    scheduleClock(engine_, id, at(900), kInf);  // 100 frames in the past
    const std::vector<float> out = renderFor(3);
    EXPECT_EQ(rampFrame(out[0]), 100);
    EXPECT_EQ(rampFrame(out[2]), 102);
}

TEST_F(SchedulingFrames, ScheduledStopEndsALoopEarlyAndALateStartStillStopsOnTime) {
    const int32_t looping = loadRamp(1000);
    setLoop(engine_, looping, true);
    startClockFrom(engine_, 0.0);
    scheduleClock(engine_, looping, 0.0, at(600));
    std::vector<float> out = renderFor(1200);
    EXPECT_EQ(rampFrame(out[599]), 599);
    EXPECT_EQ(out[600], 0.0f);
    EXPECT_EQ(out[1100], 0.0f);

    const int32_t late = loadRamp(1000);
    startClockFrom(engine_, at(100));
    scheduleClock(engine_, late, 0.0, at(300));  // started 100 frames late
    out = renderFor(300);
    EXPECT_EQ(rampFrame(out[0]), 100);
    EXPECT_EQ(rampFrame(out[199]), 299);
    EXPECT_EQ(out[200], 0.0f);  // stops at clock frame 300
}

// A loop scheduled for longer than the sound wraps until its stop time,
// also when it joins its loop late, in phase.
TEST_F(SchedulingFrames, LoopStopsAtItsScheduledTimeAfterSeveralPasses) {
    struct Case {
        int64_t clockAtStart;
        size_t firstRampFrame;
    } cases[] = {{0, 0}, {1100, 100}};
    for (const Case& c : cases) {
        const int32_t id = loadRamp(1000);
        setLoop(engine_, id, true);
        startClockFrom(engine_, at(c.clockAtStart));
        scheduleClock(engine_, id, 0.0, at(2500));
        const std::vector<float> out = renderFor(3000 - static_cast<uint32_t>(c.clockAtStart));
        const size_t stop = 2500 - static_cast<size_t>(c.clockAtStart);
        EXPECT_EQ(rampFrame(out[0]), static_cast<int64_t>(c.firstRampFrame));
        EXPECT_EQ(rampFrame(out[stop - 1]), 499);  // 2499 wrapped into a 1000-frame loop
        for (size_t i = stop; i < out.size(); ++i) ASSERT_EQ(out[i], 0.0f) << i;
        unloadSound(engine_, id);
        stopClock(engine_);
    }
}

TEST_F(SchedulingTest, RateChangeKeepsALoopsScheduledStop) {
    const int32_t id = loadRamp(1000);
    setLoop(engine_, id, true);
    startClockFrom(engine_, 0.0);
    scheduleClock(engine_, id, 0.0, at(2500));
    renderLeft(1000);
    ASSERT_TRUE(setOutputFormat(engine_, SampleFormat::Float32, 96000, 2));
    const std::vector<float> out = renderLeftInPeriods(4000);  // 1500 frames at 48000 left: 3000 now
    EXPECT_NE(out[2999], 0.0f);
    for (size_t i = 3000; i < out.size(); ++i) ASSERT_EQ(out[i], 0.0f) << i;
}

TEST_F(SchedulingFrames, ZeroLengthOrExpiredStartPlaysNothing) {
    const int32_t id = loadRamp(1000);
    startClockFrom(engine_, at(500));
    scheduleClock(engine_, id, at(100), at(200));  // its stop time has passed
    scheduleClock(engine_, id, at(600), at(600));  // zero length
    for (float s : renderFor(700)) ASSERT_EQ(s, 0.0f);
}

TEST_F(SchedulingFrames, EventsFireInStartOrderAcrossBothQueues) {
    const int32_t id = loadRamp(5000);
    scheduleClock(engine_, id, at(2000), kInf);  // clock stopped: active queue
    startClockFrom(engine_, 0.0);
    scheduleClock(engine_, id, at(3000), kInf);  // running: pending queue, out of order
    scheduleClock(engine_, id, at(1000), kInf);
    EXPECT_EQ(startsIn(renderFor(4000)), (std::vector<size_t>{1000, 2000, 3000}));
}

TEST_F(SchedulingFrames, StartingTheClockLateJoinsALoopInPhase) {
    const int32_t looping = loadRamp(3 * 48000);
    setLoop(engine_, looping, true);
    const int32_t shortSound = loadRamp(48000);
    scheduleClock(engine_, looping, 0.0, kInf);
    scheduleClock(engine_, shortSound, 0.0, kInf);
    startClockFrom(engine_, 10.0);
    const std::vector<float> out = renderLeft(1);
    EXPECT_EQ(rampFrame(out[0]), 48000);                                   // 10 s into a 3 s loop is 1 s in
    EXPECT_FALSE(engine_.sounds.lookupSound(shortSound)->playPos.load());  // ended before 10 s
}

TEST_F(SchedulingFrames, UnscheduleKeepsThePlayingVoiceButDropsLaterStarts) {
    const int32_t id = loadRamp(5000);
    startClockFrom(engine_, 0.0);
    scheduleClock(engine_, id, 0.0, kInf);
    scheduleClock(engine_, id, at(2000), kInf);
    renderFor(1000);
    unscheduleSound(engine_, id);
    const std::vector<float> out = renderFor(2000);
    EXPECT_EQ(rampFrame(out[0]), 1000);
    EXPECT_TRUE(startsIn(out).empty());
    EXPECT_EQ(rampFrame(out[1999]), 2999);
}

// An unschedule followed by a new event, both between the mixer's request
// take-over and its swap of the queues: the swap honours the unschedule, so
// the old event goes and the new one stays.
TEST_F(SchedulingTest, SwapHonoursAnUnscheduleRaisedMidRender) {
    const int32_t id = loadRamp(100);
    SoundRecord& record = *engine_.sounds.lookupSound(id);
    record.activeQueue->push({1000, kInf});
    record.activeHead = 1000;
    record.pendingQueue->push({10, kInf});
    record.pendingHead = 10;
    record.unscheduleRequested = 1;
    fireDueStartEvents(record, 10, 48000);
    EXPECT_NE(record.playPos.load(), nullptr);
    EXPECT_EQ(record.activeHead.load(), kNoEvent);
    EXPECT_EQ(record.pendingHead.load(), kNoEvent);
    EXPECT_EQ(record.unscheduleRequested.load(), 0);
}

TEST_F(SchedulingTest, RateChangeKeepsAScheduledStartAtTheSameTime) {
    const int32_t id = loadRamp(200000);
    startClockFrom(engine_, 0.0);
    scheduleClock(engine_, id, 0.5, kInf);
    ASSERT_TRUE(setOutputFormat(engine_, SampleFormat::Float32, 96000, 2));
    // The fake resampler doubles each frame, so the start shows twice.
    EXPECT_EQ(startsIn(renderLeftInPeriods(96000 + 10)), (std::vector<size_t>{48000, 48001}));
}

TEST_F(SchedulingTest, Refusals) {
    const int32_t id = loadRamp(10);
    struct Case {
        uint32_t id;
        double start, stop;
        const char* message;
    } cases[] = {
        {99, 1.0, 2.0, "Failed to schedule sound 99 (sound does not exist)"},
        {0, 2.0, 1.0, "Failed to schedule sound 0 (stopSeconds cannot be before startSeconds)"},
        {0, kNaN, 1.0, "Failed to schedule sound 0 (startSeconds must be finite)"},
        {0, kInf, kInf, "Failed to schedule sound 0 (startSeconds must be finite)"},
        {0, -kInf, 1.0, "Failed to schedule sound 0 (startSeconds must be finite)"},
        {0, 1.0, kNaN, "Failed to schedule sound 0 (stopSeconds cannot be NaN)"},
    };
    for (const Case& c : cases) {
        log_.clear();
        scheduleClock(engine_, c.id, c.start, c.stop);
        EXPECT_TRUE(logged(c.message)) << c.message;
    }
    const SoundRecord& record = *engine_.sounds.lookupSound(id);
    EXPECT_EQ(record.activeHead.load(), kNoEvent);
    scheduleClock(engine_, id, 1.0, 1.0);  // equal times are accepted
    EXPECT_EQ(record.activeHead.load(), 48000);
    unscheduleSound(engine_, 99);
    EXPECT_TRUE(logged("Failed to unschedule sound 99 (sound does not exist)"));
}

TEST_F(SchedulingTest, MainThreadOnlyCalls) {
    const int32_t id = loadRamp(10);
    std::thread([&] {
        scheduleClock(engine_, id, 0.0, 1.0);
        unscheduleSound(engine_, id);
        EXPECT_FALSE(pauseAudio(engine_));
        unpauseAudio(engine_);
    }).join();
    for (const char* name : {"ScheduleClock", "Unschedule", "PauseAudio", "UnpauseAudio"}) {
        EXPECT_TRUE(logged(std::string(name) + " must be called from the main thread")) << name;
    }
    EXPECT_EQ(engine_.sounds.lookupSound(id)->activeHead.load(), kNoEvent);
    EXPECT_EQ(engine_.pause.audioPaused.load(), 0);
}

TEST_F(SchedulingTest, PauseStopsRenderingAndReleasesUnloadedSounds) {
    const int32_t id = loadRamp(1000);
    startClockFrom(engine_, 0.0);
    play(id);
    render(100);
    ASSERT_TRUE(pauseAudio(engine_));
    const double clock = getClock(engine_);
    render(100);
    EXPECT_EQ(lastFlags_, static_cast<uint32_t>(RenderResult::Silent));
    EXPECT_EQ(getClock(engine_), clock);

    unloadSound(engine_, id);  // main thread, audio paused: freed at once
    EXPECT_EQ(engine_.sounds.soundCount(), 0u);
    unpauseAudio(engine_);
    play(loadRamp(1000));
    render(10);
    EXPECT_EQ(lastFlags_, 0u);
    EXPECT_GT(getClock(engine_), clock);
}

TEST_F(SchedulingTest, PauseGivesUpOnAStuckAudioThread) {
    engine_.renderYieldTimeout = std::chrono::milliseconds(5);
    engine_.pause.renderActive = 1;  // an audio thread that never leaves its render
    EXPECT_FALSE(pauseAudio(engine_));
    EXPECT_TRUE(logged("PauseAudio timed out waiting for audio thread to yield"));
    EXPECT_EQ(engine_.pause.audioPaused.load(), 1);  // stays paused
}

TEST_F(SchedulingTest, GamePauseFreezesBusesZeroToTwoAndTheClock) {
    const int32_t game = loadRamp(1000, 2);
    const int32_t menu = loadRamp(1000, 3);
    startClockFrom(engine_, 0.0);
    play(game);
    play(menu);
    render(10);
    pauseGameAudio(engine_);
    std::vector<float> out = render(10);
    EXPECT_EQ(out[0], 0.0f + engine_.sounds.lookupSound(menu)->data.load()[2 * 10]);  // only the menu sound
    EXPECT_EQ(engine_.clock.clockFrame.load(), 10);
    unpauseGameAudio(engine_);
    render(1);
    EXPECT_EQ(framesBetween(game), 11);  // resumed where it was
    EXPECT_EQ(framesBetween(menu), 21);
    EXPECT_EQ(engine_.clock.clockFrame.load(), 11);
}

class RecordingTicker : public InputTicker {
public:
    void tickInputProviders() override { ++ticks; }
    std::atomic<int> ticks{0};
};

TEST_F(SchedulingTest, TickDrivesTheProviderOnTheMainThreadAndInputEverywhere) {
    RecordingTicker input;
    engine_.inputTicker = &input;
    tick(engine_);
    EXPECT_EQ(fake_->tickCalls, 1);
    std::thread([&] { tick(engine_); }).join();
    EXPECT_TRUE(logged("TickAudio must be called from the main thread"));
    EXPECT_EQ(fake_->tickCalls, 1);
    EXPECT_EQ(input.ticks.load(), 2);
    engine_.inputTicker = nullptr;
}

// Found by the fuzzer: a clock rescaled onto its last frame, or an event
// rescaled onto the empty-queue marker, must not make the mixer pop an empty
// queue or lose the event.
TEST_F(SchedulingTest, RateChangeNearTheEndOfTimeKeepsClockAndEventsApart) {
    const int32_t id = loadRamp(100);
    startClockFrom(engine_, static_cast<double>(INT64_MAX / 2) / 48000.0);
    scheduleClock(engine_, id, static_cast<double>(INT64_MAX / 2 + 1000) / 48000.0, kInf);
    ASSERT_TRUE(setOutputFormat(engine_, SampleFormat::Float32, 192000, 2));  // four times every frame
    EXPECT_EQ(engine_.clock.clockFrame.load(), INT64_MAX - 1);                // running, below the end marker
    const SoundRecord& record = *engine_.sounds.lookupSound(id);
    EXPECT_EQ(record.pendingHead.load(), kNoEvent - 1);  // still an event
    render(10);                                          // fires it, and pops nothing more at the clock's last frame
    EXPECT_EQ(record.activeHead.load(), kNoEvent);
    EXPECT_EQ(record.pendingHead.load(), kNoEvent);
    EXPECT_NE(record.playPos.load(), nullptr);
}

}  // namespace
}  // namespace cl::test
