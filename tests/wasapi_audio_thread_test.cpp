// The audio thread against the scripted device: the render step, the
// priority fallbacks, a failed start, a lost device, and a real thread
// playing while the main thread pauses and closes the output.
#include <gmock/gmock.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>

#include "audio/audio_thread.h"
#include "audio/device_clock.h"
#include "clock/clock.h"
#include "fakes/mixer_fixture.h"
#include "fakes/wasapi_fixture.h"
#include "platform/counter.h"
#include "sound/scheduling.h"

namespace cl::test {
namespace {

using testing::ElementsAre;

// The mixer's engine opened through the fake provider (float stereo at
// 48000), with a device of the fake platform under an audio thread state.
class AudioThreadTest : public MixerTest {
protected:
    void SetUp() override {
        MixerTest::SetUp();
        {
            std::unique_ptr<platform::DeviceEnumerator> enumerator;
            std::unique_ptr<platform::AudioDevice> device;
            ASSERT_EQ(platform_.createDeviceEnumerator(&enumerator), 0);
            ASSERT_EQ(enumerator->GetDefaultAudioEndpoint(&device), 0);
            ASSERT_EQ(device->ActivateAudioClient(false, &state_.audioClient), 0);
        }
        ASSERT_EQ(state_.audioClient->GetService(&state_.renderClient), 0);
        ASSERT_EQ(platform_.createTimerEvent(&state_.timerEvent), 0u);
        state_.fillTarget = 700;
        state_.running = 1;
        platform_.clearCalls();
    }
    void step() { renderStep(AudioThreadContext{engine_, platform_, state_}); }
    // Runs the thread's body until it has waited `wakes` times.
    void runThread(int wakes) {
        platform_.onWait = [this, wakes] {
            if (platform_.waits == wakes) state_.running = 0;
        };
        audioThreadMain(AudioThreadContext{engine_, platform_, state_});
    }
    std::vector<float> deviceFloats() {
        std::vector<float> out(platform_.deviceBuffer.size() / 4);
        std::memcpy(out.data(), platform_.deviceBuffer.data(), out.size() * 4);
        return out;
    }

    FakeAudioPlatform platform_;
    WasapiState state_;
};

TEST_F(AudioThreadTest, FillsExactlyWhatTheDeviceConsumed) {
    const int32_t id = loadRamp(2000);
    play(id);
    platform_.paddings = {500};
    step();
    EXPECT_THAT(platform_.calls(), ElementsAre("GetCurrentPadding", "GetBuffer(200)", "ReleaseBuffer(200, 0)"));
    const std::vector<float> out = deviceFloats();
    EXPECT_EQ(rampFrame(out[0]), 0);
    EXPECT_EQ(rampFrame(out[2 * 199]), 199);
    EXPECT_EQ(framesBetween(id), 200);
    EXPECT_EQ(engine_.pause.renderActive.load(), 0);
}

TEST_F(AudioThreadTest, AFullBufferIsLeftAlone) {
    play(loadRamp(2000));
    platform_.paddings = {700};
    step();
    EXPECT_THAT(platform_.calls(), ElementsAre("GetCurrentPadding"));
    // A padding beyond the target (never of ours) is no reason to ask for
    // billions of frames.
    platform_.paddings = {701};
    step();
    EXPECT_EQ(platform_.count("GetBuffer(4294967295)"), 0u);
    EXPECT_EQ(framesBetween(0), -1);  // the mixer never took the play request
}

TEST_F(AudioThreadTest, PausedAudioReleasesTheStepFlaggedSilentAndWritesNothing) {
    play(loadRamp(2000));
    engine_.pause.audioPaused = 1;
    step();
    EXPECT_THAT(platform_.calls(), ElementsAre("GetCurrentPadding", "GetBuffer(700)", "ReleaseBuffer(700, 2)"));
    for (uint8_t byte : platform_.deviceBuffer) ASSERT_EQ(byte, 0xEE);
}

TEST_F(AudioThreadTest, AStepOfMoreThanABlockIsWrittenWhole) {
    play(loadConstant(2000, 0.25f));
    step();  // 700 frames: 512 then 188
    const std::vector<float> out = deviceFloats();
    for (size_t i = 0; i < 700 * 2; ++i) ASSERT_EQ(out[i], 0.25f) << i;
}

struct FailedCall {
    const char* name;
    const char* call;
    int32_t result;
    int check;
    bool lost;
};

void PrintTo(const FailedCall& failed, std::ostream* out) { *out << failed.name; }

class RenderStepFailure : public AudioThreadTest, public testing::WithParamInterface<FailedCall> {};

TEST_P(RenderStepFailure, IsLoggedAndSkipsTheStepWithoutRendering) {
    const FailedCall& failed = GetParam();
    const int32_t id = loadRamp(2000);
    play(id);
    engine_.clock.clockFrame = 0;
    platform_.failAlways(failed.call, failed.result);
    step();
    char line[96];
    std::snprintf(line, sizeof line, "audio_wasapi@19d5a091:%d failed with HRESULT %#x", failed.check,
                  static_cast<unsigned>(failed.result));
    EXPECT_EQ(log_.count(line), 1u);
    EXPECT_EQ(state_.deviceLost.load(), failed.lost ? 1 : 0);
    if (failed.check != 1480) {
        EXPECT_EQ(framesBetween(id), -1);  // the mixer was not called: the play request waits
        EXPECT_EQ(engine_.clock.clockFrame.load(), 0);
    }
    step();  // tries again at the next wake, and says nothing new
    EXPECT_EQ(log_.count(line), 1u);
    const std::vector<std::string> calls = platform_.calls();
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [&](const std::string& call) { return call.starts_with(failed.call); }),
              2);
}

// One line for a run of failures: a lost device fails at every wake (about
// a thousand a second). A step that fails nothing ends the run.
TEST_F(AudioThreadTest, ARunOfFailingStepsIsLoggedOnceAndAgainAfterASuccess) {
    platform_.padding = 700;
    platform_.script("GetCurrentPadding", {platform::kFail, platform::kFail, platform::kFail, platform::kOk,
                                           platform::kDeviceInvalidated, platform::kDeviceInvalidated});
    for (int wake = 0; wake < 6; ++wake) step();
    EXPECT_THAT(log_.takeBodies(), ElementsAre("audio_wasapi@19d5a091:1465 failed with HRESULT 0x80004005",
                                               "audio_wasapi@19d5a091:1465 failed with HRESULT 0x88890004"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenderStepFailure,
    testing::Values(FailedCall{"DeviceInvalidated", "GetCurrentPadding", platform::kDeviceInvalidated, 1465, true},
                    FailedCall{"ResourcesInvalidated", "GetCurrentPadding", platform::kResourcesInvalidated, 1465,
                               true},
                    FailedCall{"OtherPaddingFailure", "GetCurrentPadding", platform::kFail, 1465, false},
                    FailedCall{"GetBuffer", "GetBuffer", platform::kFail, 1475, false},
                    FailedCall{"ReleaseBuffer", "ReleaseBuffer", platform::kFail, 1480, false}),
    [](const testing::TestParamInfo<FailedCall>& info) { return std::string(info.param.name); });

TEST_F(AudioThreadTest, ThreadFillsThenStartsThenStepsOnEveryWake) {
    state_.useMmcss = true;
    platform_.padding = 650;  // after the first fill the device consumes 50 frames a wake
    platform_.paddings = {0};
    runThread(2);
    EXPECT_THAT(platform_.calls(),
                ElementsAre("AvSetMmThreadCharacteristicsW", "GetCurrentPadding", "GetBuffer(700)",
                            "ReleaseBuffer(700, 2)", "Start", "WaitForSingleObject(TimerEvent, 1)", "GetCurrentPadding",
                            "GetBuffer(50)", "ReleaseBuffer(50, 2)", "WaitForSingleObject(TimerEvent, 1)",
                            "GetCurrentPadding", "GetBuffer(50)", "ReleaseBuffer(50, 2)"));
    EXPECT_TRUE(log_.lines().empty());
}

// Once the stream plays, a wake that finds the device buffer empty is an
// underrun; the fill before Start always finds it empty and is none.
TEST_F(AudioThreadTest, WakesThatFindTheDeviceDryAreCountedAsUnderruns) {
    platform_.padding = 650;
    platform_.paddings = {0, 0, 650, 0};
    runThread(3);
    EXPECT_EQ(state_.underruns.load(), 2u);
    // A failed Start plays nothing, so nothing can run dry.
    platform_.failAlways("Start", platform::kFail);
    state_.underruns = 0;
    platform_.paddings = {0};
    runThread(1);
    EXPECT_EQ(state_.underruns.load(), 0u);
}

// A host that only records what the audio thread tells it.
struct ReportingHost : ProviderHost {
    explicit ReportingHost(Engine& engine) : engine(engine) {}
    Logger& logger() override { return engine.log; }
    bool setOutputFormat(SampleFormat, uint32_t, uint32_t) override { return false; }
    uint32_t renderPeriod(uint8_t* buffer, uint32_t frames, int64_t streamFrame) override {
        renders.push_back(streamFrame);
        return engine.renderPeriod(buffer, frames, streamFrame);
    }
    void devicePlayedAt(int64_t streamFrame, int64_t counterTicks) override {
        played.push_back(streamFrame);
        playedAt.push_back(counterTicks);
    }
    void deviceLostAt(int64_t) override { ++lost; }

    Engine& engine;
    std::vector<int64_t> renders, played, playedAt;
    int lost = 0;
};

// Each wake, before its step, tells the host where the device is: its
// clock's bytes turned into frames, at the counter value it gave with them.
// Nothing is asked before the stream starts.
TEST_F(AudioThreadTest, EachWakeReportsTheDevicePosition) {
    ReportingHost host(engine_);
    ASSERT_EQ(state_.audioClient->GetService(&state_.audioClock), 0);
    state_.clockFrequency = 384000;  // bytes of float stereo at 48000
    state_.figures.frameRate = 48000;
    state_.counterFrequency = 20'000'000;  // two ticks per 100 ns
    platform_.clearCalls();
    platform_.paddings = {0};  // the first fill, then 50 frames a wake
    platform_.padding = 650;
    platform_.onWait = [this] {
        platform_.clockPosition = static_cast<uint64_t>(platform_.waits) * 40 * 8 + 3;  // 40 frames a wake
        platform_.clockQpcPosition = 1000 + static_cast<uint64_t>(platform_.waits) * 10000;
        if (platform_.waits == 2) state_.running = 0;
    };
    audioThreadMain(AudioThreadContext{host, platform_, state_});
    EXPECT_THAT(platform_.calls(),
                ElementsAre("SetThreadPriority", "GetCurrentPadding", "GetBuffer(700)", "ReleaseBuffer(700, 2)",
                            "Start", "WaitForSingleObject(TimerEvent, 1)", "GetPosition", "GetCurrentPadding",
                            "GetBuffer(50)", "ReleaseBuffer(50, 2)", "WaitForSingleObject(TimerEvent, 1)",
                            "GetPosition", "GetCurrentPadding", "GetBuffer(50)", "ReleaseBuffer(50, 2)"));
    EXPECT_THAT(host.played, ElementsAre(40, 80));
    EXPECT_THAT(host.playedAt, ElementsAre(22000, 42000));
}

// A clock that fails skips its report, not the step; a run of failures is
// one line, as for the step's calls.
TEST_F(AudioThreadTest, AFailingPositionIsLoggedOncePerRunAndTheStepGoesOn) {
    ReportingHost host(engine_);
    ASSERT_EQ(state_.audioClient->GetService(&state_.audioClock), 0);
    state_.clockFrequency = 384000;
    state_.figures.frameRate = 48000;
    platform_.padding = 700;
    platform_.script("GetPosition", {platform::kFail, platform::kFail, platform::kOk, platform::kFail});
    platform_.onWait = [this] {
        if (platform_.waits == 4) state_.running = 0;
    };
    audioThreadMain(AudioThreadContext{host, platform_, state_});
    EXPECT_EQ(log_.count("Failed to read the device position: 0x80004005"), 2u);
    EXPECT_EQ(host.played.size(), 1u);
    EXPECT_EQ(platform_.count("GetCurrentPadding"), 5u);
}

// What the player hears, as the audio thread tells the engine: each wake
// reports where the device is, each render which clock its frames carry.
// Invariant: a clock change is heard when the device plays the first frame
// mixed after it, not when it is made.
class HeardThroughTheDeviceTest : public AudioThreadTest {
protected:
    static constexpr int64_t kFramesPerWake = 48;  // one millisecond at 48000

    void SetUp() override {
        AudioThreadTest::SetUp();
        ASSERT_EQ(state_.audioClient->GetService(&state_.audioClock), 0);
        state_.clockFrequency = 48000;  // clock units are frames
        state_.figures.frameRate = 48000;
        state_.counterFrequency = platform::counterFrequency();
        platform_.paddings = {0};  // the fill, then 48 frames a wake
        platform_.padding = static_cast<uint32_t>(state_.fillTarget - kFramesPerWake);
        // The wakes' reports are dated a second back, so that they lie in
        // the past of the real counter as a device's reports do.
        origin_ = static_cast<uint64_t>(platform::counterNow() / (state_.counterFrequency / 10'000'000)) - 10'000'000;
        startClockFrom(engine_, 0.0);  // stream frame s carries clock frame s
    }
    // The counter value of wake w's report, which played 48 w frames.
    int64_t ticksAt(int64_t wake) const {
        return qpcTimeTicks(origin_ + static_cast<uint64_t>(wake) * 10'000, state_.counterFrequency);
    }
    void reportAtEachWake(const std::function<void(int64_t wake)>& beforeReport, int wakes) {
        platform_.onWait = [this, beforeReport, wakes] {
            const int64_t wake = platform_.waits;
            beforeReport(wake);
            platform_.clockPosition = static_cast<uint64_t>(wake * kFramesPerWake);
            platform_.clockQpcPosition = origin_ + static_cast<uint64_t>(wake) * 10'000;
            if (wake == wakes) state_.running = 0;
        };
        audioThreadMain(AudioThreadContext{engine_, platform_, state_});
    }
    double heardAt(int64_t ticks) const { return engine_.clock.heard.clockSecondsAt(ticks).value_or(-1.0); }

    uint64_t origin_ = 0;
};

TEST_F(HeardThroughTheDeviceTest, AJumpIsHeardWhenTheDevicePlaysIt) {
    std::map<int64_t, double> heard;  // at each wake, at the previous wake's report
    reportAtEachWake(
        [&](int64_t wake) {
            if (wake > 1) heard[wake - 1] = heardAt(ticksAt(wake - 1));
            // Mixed from stream frame 700 + 48 * 99 = 5452 on, which the
            // device reaches at wake 113.6.
            if (wake == 100) startClockFrom(engine_, 10.0);
        },
        130);
    for (const int64_t wake : {50, 99, 105, 113}) {
        EXPECT_NEAR(heard[wake], static_cast<double>(wake) / 1000.0, 0.05e-3) << "wake " << wake;
    }
    for (const int64_t wake : {114, 120, 128}) {
        EXPECT_NEAR(heard[wake], 10.0 + static_cast<double>(wake * kFramesPerWake - 5452) / 48000.0, 0.05e-3)
            << "wake " << wake;
    }
}

TEST_F(HeardThroughTheDeviceTest, ALostDeviceHoldsWhereItStopped) {
    reportAtEachWake(
        [&](int64_t wake) {
            if (wake == 60) platform_.failAlways("GetCurrentPadding", platform::kDeviceInvalidated);
        },
        70);
    const int64_t second = state_.counterFrequency;
    const double soon = heardAt(platform::counterNow() + second / 100);
    EXPECT_GT(soon, 0.059);
    EXPECT_EQ(heardAt(platform::counterNow() + 10 * second), soon);
}

// Without a clock, the device's position is what it was given less what it
// still holds, dated when the padding was read.
TEST_F(AudioThreadTest, ADeviceWithoutAClockReportsItsPaddingAsThePosition) {
    ReportingHost host(engine_);
    const int64_t before = platform::counterNow();
    platform_.paddings = {0, 0, 600, 650};
    platform_.padding = 700;
    platform_.onWait = [this] {
        if (platform_.waits == 4) state_.running = 0;
    };
    platform_.script("GetCurrentPadding",
                     {platform::kOk, platform::kOk, platform::kOk, platform::kOk, platform::kDeviceInvalidated});
    audioThreadMain(AudioThreadContext{host, platform_, state_});
    EXPECT_THAT(host.renders, ElementsAre(0, 700, 1400, 1500));  // the fill, then each wake's step
    // The fill is no report: nothing played before Start.
    EXPECT_THAT(host.played, ElementsAre(700 - 0, 1400 - 600, 1500 - 650));
    for (const int64_t ticks : host.playedAt) {
        EXPECT_GE(ticks, before);
        EXPECT_LE(ticks, platform::counterNow());
    }
    EXPECT_EQ(host.lost, 1);
}

TEST_F(AudioThreadTest, SleepPollingWaitsWithSleep) {
    state_.sleepPolling = true;
    platform_.padding = 700;
    runThread(3);
    EXPECT_EQ(platform_.count("Sleep(1)"), 3u);
    EXPECT_EQ(platform_.count("SetThreadPriority"), 1u);
    EXPECT_EQ(platform_.count("AvSetMmThreadCharacteristicsW"), 0u);
}

TEST_F(AudioThreadTest, RefusedPrioritiesAreLoggedAndTheThreadPlaysAnyway) {
    state_.useMmcss = true;
    platform_.failAlways("AvSetMmThreadCharacteristicsW", 0x5);
    platform_.failAlways("SetThreadPriority", 0x5);
    runThread(1);
    EXPECT_TRUE(logged("Failed to join the Pro Audio task: 0x5; using time-critical priority"));
    EXPECT_TRUE(logged("Failed to raise the audio thread priority: 0x5; running at normal priority"));
    EXPECT_EQ(platform_.count("Start"), 1u);
    EXPECT_EQ(platform_.count("GetCurrentPadding"), 2u);
}

TEST_F(AudioThreadTest, FailedStartIsLoggedAndAsksTheGameToReopen) {
    platform_.failAlways("Start", platform::kDeviceInvalidated);
    runThread(5);
    EXPECT_TRUE(logged("audio_wasapi@19d5a091:1404 failed with HRESULT 0x88890004"));
    EXPECT_EQ(state_.deviceLost.load(), 1);
    EXPECT_EQ(platform_.waits, 0);
}

TEST_F(AudioThreadTest, ALostDeviceKeepsTheLoopGoingUntilStopped) {
    platform_.script("GetCurrentPadding", {platform::kOk});
    platform_.failAlways("GetCurrentPadding", platform::kDeviceInvalidated);
    runThread(4);
    EXPECT_EQ(state_.deviceLost.load(), 1);
    EXPECT_EQ(log_.count("audio_wasapi@19d5a091:1465 failed with HRESULT 0x88890004"), 1u);
    EXPECT_EQ(platform_.count("GetCurrentPadding"), 5u);
    // The output reopened on a device that fails as well: that is news again.
    state_.running = 1;
    platform_.waits = 0;
    runThread(1);
    EXPECT_EQ(log_.count("audio_wasapi@19d5a091:1465 failed with HRESULT 0x88890004"), 2u);
}

// A real audio thread over the fake device while the main thread plays,
// pauses and closes: the pause handshake holds (no render after pauseaudio
// returns) and Shutdown joins before it releases the clients.
using WasapiConcurrencyTest = WasapiTest;

TEST_F(WasapiConcurrencyTest, AudioThreadAgainstPauseAndShutdown) {
    fake_.realThreads = true;
    fake_.padding = 0;
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(init());
        std::vector<float> samples(4800 * 2, 0.5f);
        const int32_t id = loadFloat(engine_, samples.data(), 9600, 2, 48000, 0, 1.0f, 0.0f, false, nullptr);
        ASSERT_GE(id, 0);
        playFrom(engine_, static_cast<uint32_t>(id), 0.0);
        for (int i = 0; i < 50; ++i) {
            // renderActive may rise again at once: a render that starts
            // now sees the pause and writes nothing.
            ASSERT_TRUE(pauseAudio(engine_));
            unpauseAudio(engine_);
        }
        unloadSound(engine_, static_cast<uint32_t>(id));
        freeAudio(engine_);
        EXPECT_EQ(fake_.liveObjects(), 0);
    }
}

}  // namespace
}  // namespace cl::test
