// Faults of the device while sounds play, end to end: the WASAPI output over
// the scripted device with a real audio thread and a real engine (a playing
// sound, an idle one, a running clock). Each fault is injected at a chosen
// wake; the test checks the log lines to the character, audioneedsreinit,
// that freeaudio returns, and that a reopened output carries on with the same
// sounds, ids, positions and clock.
#include <gmock/gmock.h>

#include <cctype>
#include <cmath>
#include <condition_variable>
#include <mutex>

#include "clock/clock.h"
#include "fakes/hang_guard.h"
#include "fakes/wasapi_fixture.h"
#include "sound/loading.h"
#include "sound/playback.h"

namespace cl::test {
namespace {

using testing::ElementsAreArray;

constexpr int64_t kWake = 48;  // frames the device consumes between two wakes

// The body of a log line whose prefix is exactly "[CL] [tid=%4x] " and which
// ends with one newline; "<malformed>" otherwise.
std::string exactBody(const std::string& line) {
    const std::string start = "[CL] [tid=";
    const size_t close = line.find("] ", start.size());
    if (line.rfind(start, 0) != 0 || close == std::string::npos || close - start.size() < 4 ||
        close - start.size() > 8 || line.back() != '\n')
        return "<malformed>";
    for (size_t i = start.size(); i < close; ++i) {
        if (line[i] != ' ' && !std::isxdigit(static_cast<unsigned char>(line[i]))) return "<malformed>";
    }
    const std::string body = line.substr(close + 2, line.size() - close - 3);
    return body.find('\n') == std::string::npos ? body : "<malformed>";
}

class WasapiFaultTest : public WasapiTest {
protected:
    void SetUp() override {
        fake_.realThreads = true;
        // One second of a constant: every frame rendered moves the position by one.
        const std::vector<float> samples(48000 * 2, 0.25f);
        const auto count = static_cast<uint32_t>(samples.size());
        playing_ = loadFloat(engine_, samples.data(), count, 2, 48000, 0, 1.0f, 0.0f, false, "playing");
        idle_ = loadFloat(engine_, samples.data(), count / 2, 2, 48000, 0, 1.0f, 0.0f, false, "idle");
        ASSERT_EQ(playing_, 0);
        ASSERT_EQ(idle_, 1);
        playFrom(engine_, static_cast<uint32_t>(playing_), 0.0);
    }

    // What the audio thread does at its waits (counted from 1): hold at
    // `gate` until the test opens it, run `inject` at `fault`, and at `park`
    // report and stay until the output shuts down, then run one last step.
    struct WakeScript {
        int park = 0;
        int gate = 0;
        int fault = 0;
        std::function<void()> inject;
    };
    void script(WakeScript wakes) {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            atGate_ = gateOpen_ = parked_ = false;
        }
        fake_.onWait = [this, wakes] {
            const int wake = fake_.waits;
            if (wake == wakes.gate) {
                std::unique_lock<std::mutex> lock(mutex_);
                atGate_ = true;
                signal_.notify_all();
                signal_.wait_for(lock, std::chrono::seconds(30), [this] { return gateOpen_; });
            }
            if (wake == wakes.fault && wakes.inject) wakes.inject();
            if (wake == wakes.park) {
                {
                    std::lock_guard<std::mutex> guard(mutex_);
                    parked_ = true;
                }
                signal_.notify_all();
                while (provider_->state().running.load(std::memory_order_acquire) != 0) std::this_thread::yield();
            }
        };
    }
    bool awaitGate() { return await(atGate_); }
    bool awaitPark() { return await(parked_); }
    bool await(const bool& flag) {
        std::unique_lock<std::mutex> lock(mutex_);
        return signal_.wait_for(lock, std::chrono::seconds(30), [&] { return flag; });
    }
    void openGate() {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            gateOpen_ = true;
        }
        signal_.notify_all();
    }

    // Opens the output: the first fill takes the whole buffer, each later
    // wake what the device consumed since the last.
    bool open() {
        fake_.paddings = {0};
        fake_.padding = fake_.bufferFrames - static_cast<uint32_t>(kWake);
        fake_.waits = 0;
        return init();
    }
    void close() {
        returnsInTime("freeaudio", [this] { freeAudio(engine_); });
        EXPECT_EQ(fake_.liveObjects(), 0) << testing::PrintToString(fake_.calls());
    }

    int64_t positionFrames() { return std::llround(getPosition(engine_, static_cast<uint32_t>(playing_)) * 48000.0); }
    int64_t clockFrames() { return std::llround(getClock(engine_) * 48000.0); }
    // The lines of the output's failures and notifications, checked to the character.
    std::vector<std::string> faultLines() {
        std::vector<std::string> bodies;
        for (const std::string& line : log_.lines()) {
            const std::string body = LogCapture::body(line);
            if (body.rfind("audio_wasapi@", 0) == 0 || body.rfind("Default device changed", 0) == 0)
                bodies.push_back(exactBody(line));
        }
        return bodies;
    }

    // Reopens after a loss that left the playing sound at `position` and the
    // clock at `clock`: both go on from there, nothing else changed.
    void reopenAndCarryOn(int64_t position, int64_t clock) {
        log_.clear();
        script({.park = 2, .gate = 0, .fault = 0, .inject = {}});
        ASSERT_TRUE(open());
        EXPECT_FALSE(audioNeedsReinit(engine_));
        ASSERT_TRUE(awaitPark());
        close();
        const int64_t rendered = fake_.bufferFrames + 2 * kWake;  // the first fill, then wakes 1 and 2
        EXPECT_EQ(positionFrames(), position + rendered);
        EXPECT_EQ(clockFrames(), clock + rendered);
        EXPECT_EQ(isPlaying(engine_, static_cast<uint32_t>(playing_)), 1);
        EXPECT_EQ(isPlaying(engine_, static_cast<uint32_t>(idle_)), 0);
        EXPECT_EQ(getLength(engine_, static_cast<uint32_t>(idle_)), 0.5);
        EXPECT_TRUE(faultLines().empty());
        const float sample[2] = {0.0f, 0.0f};
        EXPECT_EQ(loadFloat(engine_, sample, 2, 2, 48000, 0, 1.0f, 0.0f, false, nullptr), 2);  // ids go on
    }

    int32_t playing_ = -1;
    int32_t idle_ = -1;
    std::mutex mutex_;
    std::condition_variable signal_;
    bool atGate_ = false;
    bool gateOpen_ = false;
    bool parked_ = false;
};

// ---- Faults at each call of the render step, and default-device changes ----

enum class Fault { Call, DefaultChange };

struct DeviceFault {
    const char* name;
    Fault kind;
    const char* call = "";  // the call that starts failing
    int32_t result = 0;     // and its answer from then on
    int check = 0;
    int32_t flow = 0, role = 0;
    bool lost = false;           // audioneedsreinit afterwards
    bool keepsRendering = true;  // the mixer still runs in the failing steps
};

void PrintTo(const DeviceFault& fault, std::ostream* out) { *out << fault.name; }

// Real threads throughout: the ThreadSanitizer build runs these too.
class DeviceFaultWhilePlayingConcurrencyTest : public WasapiFaultTest,
                                               public testing::WithParamInterface<DeviceFault> {};

TEST_P(DeviceFaultWhilePlayingConcurrencyTest, IsLoggedFlagsAReopenWhenLostAndTheReopenCarriesOn) {
    const DeviceFault& fault = GetParam();
    constexpr int kFault = 3, kPark = 5;
    script({.park = kPark, .gate = 1, .fault = kFault, .inject = [&] {
                if (fault.kind == Fault::Call) {
                    fake_.failAlways(fault.call, fault.result);
                } else {
                    fake_.listener->onDefaultDeviceChanged(fault.flow, fault.role, L"{0.0.0.00000000}.{new}");
                }
            }});
    ASSERT_TRUE(open());
    ASSERT_TRUE(awaitGate());
    startClockFrom(engine_, 0.0);  // from wake 1 on; the first fill already played the sound
    openGate();
    ASSERT_TRUE(awaitPark());
    EXPECT_EQ(audioNeedsReinit(engine_), fault.lost);
    close();
    EXPECT_EQ(audioNeedsReinit(engine_), fault.lost);  // closing changes nothing

    // Wakes 1 to kPark each had a step; a failing step renders nothing
    // unless it failed only at its release.
    const int64_t rendered = fault.keepsRendering ? kPark * kWake : (kFault - 1) * kWake;
    EXPECT_EQ(positionFrames(), fake_.bufferFrames + rendered);
    EXPECT_EQ(clockFrames(), rendered);
    std::vector<std::string> expected;
    if (fault.kind == Fault::Call) {
        // Steps kFault to kPark all fail: the first of them logs its check.
        expected.push_back(check(fault.check, static_cast<uint32_t>(fault.result)));
    } else {
        char line[96];
        std::snprintf(line, sizeof line, "Default device changed: {0.0.0.00000000}.{new} [flow=%d, role=%d]",
                      fault.flow, fault.role);
        expected.push_back(line);
    }
    EXPECT_THAT(faultLines(), ElementsAreArray(expected));

    if (fault.kind == Fault::Call) fake_.failAlways(fault.call, platform::kOk);  // the new device works
    reopenAndCarryOn(fake_.bufferFrames + rendered, rendered);
}

constexpr int32_t kInvalidated = platform::kDeviceInvalidated;
constexpr int32_t kNoService = platform::kServiceNotRunning;
constexpr int32_t kNoResources = platform::kResourcesInvalidated;

INSTANTIATE_TEST_SUITE_P(
    EachCallAndCode, DeviceFaultWhilePlayingConcurrencyTest,
    testing::Values(
        DeviceFault{"PaddingDeviceInvalidated", Fault::Call, "GetCurrentPadding", kInvalidated, 1465, 0, 0, true,
                    false},
        DeviceFault{"PaddingServiceNotRunning", Fault::Call, "GetCurrentPadding", kNoService, 1465, 0, 0, true, false},
        DeviceFault{"PaddingResourcesInvalidated", Fault::Call, "GetCurrentPadding", kNoResources, 1465, 0, 0, true,
                    false},
        DeviceFault{"PaddingOtherFailure", Fault::Call, "GetCurrentPadding", platform::kFail, 1465, 0, 0, false, false},
        DeviceFault{"GetBufferDeviceInvalidated", Fault::Call, "GetBuffer", kInvalidated, 1475, 0, 0, true, false},
        DeviceFault{"GetBufferServiceNotRunning", Fault::Call, "GetBuffer", kNoService, 1475, 0, 0, true, false},
        DeviceFault{"GetBufferResourcesInvalidated", Fault::Call, "GetBuffer", kNoResources, 1475, 0, 0, true, false},
        DeviceFault{"ReleaseBufferDeviceInvalidated", Fault::Call, "ReleaseBuffer", kInvalidated, 1480, 0, 0, true},
        DeviceFault{"ReleaseBufferServiceNotRunning", Fault::Call, "ReleaseBuffer", kNoService, 1480, 0, 0, true},
        DeviceFault{"ReleaseBufferResourcesInvalidated", Fault::Call, "ReleaseBuffer", kNoResources, 1480, 0, 0, true},
        DeviceFault{"RenderConsoleChange", Fault::DefaultChange, "", 0, 0, 0, 0, true},
        DeviceFault{"RenderMultimediaChange", Fault::DefaultChange, "", 0, 0, 0, 1, false},
        DeviceFault{"RenderCommunicationsChange", Fault::DefaultChange, "", 0, 0, 0, 2, false},
        DeviceFault{"CaptureConsoleChange", Fault::DefaultChange, "", 0, 0, 1, 0, false},
        DeviceFault{"CaptureMultimediaChange", Fault::DefaultChange, "", 0, 0, 1, 1, false},
        DeviceFault{"CaptureCommunicationsChange", Fault::DefaultChange, "", 0, 0, 1, 2, false}),
    [](const testing::TestParamInfo<DeviceFault>& info) { return std::string(info.param.name); });

// ---- Faults outside the render step ---------------------------------------

using DeviceFaultConcurrencyTest = WasapiFaultTest;

TEST_F(DeviceFaultConcurrencyTest, FailedStartAsksForAReopenAndTheReopenCarriesOn) {
    fake_.failAlways("Start", kInvalidated);
    ASSERT_TRUE(open());  // Init has returned before the thread starts the stream
    close();              // the thread ended on its own, or ends at Start now
    EXPECT_TRUE(audioNeedsReinit(engine_));
    EXPECT_THAT(faultLines(), ElementsAreArray({check(1404, 0x88890004)}));
    EXPECT_EQ(fake_.waits, 0);
    EXPECT_EQ(positionFrames(), fake_.bufferFrames);  // the first fill, made before Start

    fake_.failAlways("Start", platform::kOk);
    startClockFrom(engine_, 0.0);
    reopenAndCarryOn(fake_.bufferFrames, 0);
}

TEST_F(DeviceFaultConcurrencyTest, ADeviceThatAcceptsNoFormatLeavesTheSoundsForTheNextDevice) {
    const auto accepting = fake_.formatAnswer;
    fake_.formatAnswer = [](bool, const platform::WaveFormat&) { return platform::kUnsupportedFormat; };
    EXPECT_FALSE(open());
    EXPECT_TRUE(logged("No suitable format found (Shared @ 0Hz)"));
    EXPECT_TRUE(logged("Failed to initialise audio"));
    EXPECT_EQ(fake_.liveObjects(), 0);
    EXPECT_EQ(fake_.count("CreateThread"), 0u);

    fake_.formatAnswer = accepting;  // the next device takes its mix format
    startClockFrom(engine_, 0.0);
    reopenAndCarryOn(0, 0);
}

// A timer whose event is never signalled: every wait runs out its bounded
// time-out, the thread keeps stepping, and freeaudio returns.
TEST_F(DeviceFaultConcurrencyTest, ATimerThatNeverSignalsStillLetsFreeaudioStopTheThread) {
    fake_.timerNeverSignalled = true;
    script({.park = 3, .gate = 0, .fault = 0, .inject = {}});
    ASSERT_TRUE(open());
    ASSERT_TRUE(awaitPark());
    close();
    EXPECT_EQ(fake_.count("WaitForSingleObject(TimerEvent, 1)"), static_cast<size_t>(fake_.waits));
    EXPECT_EQ(fake_.waits, 3);
    EXPECT_EQ(positionFrames(), fake_.bufferFrames + 3 * kWake);
}

}  // namespace
}  // namespace cl::test
