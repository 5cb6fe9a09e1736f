// The heard clock against a scripted device: a simulated audio thread keeps
// a 10 ms buffer full, waking every millisecond, while the device plays at
// its own speed and reports its position with jittered time stamps; the
// clock runs, stops, freezes and jumps as the mixer sees it, and the audio
// thread may stall long enough for the device to run dry. Reads every
// quarter millisecond are held to what the device was really playing, and
// read again later (as a press's time is) they give what they gave then.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "clock/clock.h"
#include "clock/heard_clock.h"
#include "fakes/render_watch.h"

namespace cl::test {
namespace {

constexpr uint32_t kRate = 48000;
constexpr int64_t kTicksPerSecond = 10'000'000;  // what QueryPerformanceFrequency usually reports
constexpr int64_t kFill = 480;                   // the buffer the audio thread keeps full
constexpr double kMs = 0.001;

int64_t ticksAt(double seconds) { return std::llround(seconds * kTicksPerSecond); }

// What happens to the clock as the mixer sees it, between 2.0 s and 2.5 s
// of real time (Stop, Freeze) or at 2.0 s (the others); or the audio thread
// does not wake for 30 ms from 2.0 s (Stall), and the device plays its
// 10 ms buffer out and stands dry for 20 ms.
enum class Change { None, Stop, Freeze, JumpBack, JumpForward, LoseDevice, Stall };
constexpr double kChangeAt = 2.0, kChangeEnds = 2.5, kStallEnds = 2.03;

struct Scenario {
    const char* name;
    double deviceSpeed;  // frames the device plays per second, over the nominal rate
    double jitterMs;     // each report's counter value is off by up to this, either way
    Change change;
    int backSteps = 0;  // reads that may fall below the one before (the clock jumped back)
    int bigSteps = 0;   // reads that may land a millisecond or more past the one before
};

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

// The device, the audio thread and what the mixer put on the stream.
class SimulatedOutput {
public:
    SimulatedOutput(HeardClock& heard, const Scenario& scenario) : heard_(heard), scenario_(scenario) {
        heard_.open(kRate, kTicksPerSecond);
    }

    // The audio thread's wake at real time t: top the buffer up, then report
    // where the device is.
    void wake(double t) {
        if (lostAt_) return;
        if (scenario_.change == Change::Stall && t >= kChangeAt && t < kStallEnds) return;
        // A device that played everything it had stood dry since then, and
        // plays on from there now.
        if (const double beyond = devicePosition(t) - static_cast<double>(written_); beyond > 0) {
            dry_ += beyond / (scenario_.deviceSpeed * kRate);
        }
        if (scenario_.change == Change::LoseDevice && t >= kChangeAt) {
            heard_.deviceLost(ticksAt(t));
            lostAt_ = t;
            return;
        }
        // Where the device is, then what it needs, as the audio thread does.
        const auto played = static_cast<int64_t>(std::floor(devicePosition(t)));
        heard_.reportDevicePosition(played, ticksAt(t + jitter() * kMs));
        for (int64_t left = kFill - (written_ - played); left > 0;) {
            const int64_t frames = std::min<int64_t>(left, 512);
            mix(t, frames);
            left -= frames;
        }
    }

    // When the device's sound stops changing: a lost device stops where it
    // had got to when the loss was reported, give or take the 5 ms by which
    // every change of the curve trails its report.
    double heardTime(double t) const { return lostAt_ ? std::min(t, *lostAt_ + 5 * kMs) : t; }

    // The clock time the device plays at real time t.
    double truthAt(double t) const {
        const double position = std::min(devicePosition(t), static_cast<double>(written_));
        for (auto run = mixed_.rbegin(); run != mixed_.rend(); ++run) {
            if (static_cast<double>(run->streamFrame) > position) continue;
            const double into = std::min(position - static_cast<double>(run->streamFrame), double(run->frames));
            return (static_cast<double>(run->clockFrame) + (run->running ? into : 0.0)) / kRate;
        }
        return 0.0;
    }

    // How long the device has stood dry so far.
    double dryTime() const { return dry_; }

private:
    // Where the device would be had it not run dry since its last refill.
    double devicePosition(double t) const { return scenario_.deviceSpeed * kRate * (t - dry_); }

    // Uniform in [-jitterMs, +jitterMs], the same sequence every run.
    double jitter() {
        seed_ = seed_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return scenario_.jitterMs * (static_cast<double>(seed_ >> 11) / 4503599627370496.0 - 1.0);
    }

    void mix(double t, int64_t frames) {
        const bool during = t >= kChangeAt && t < kChangeEnds;
        bool running = true;
        int64_t passed = clock_;
        switch (scenario_.change) {
            case Change::Stop:
                if (during) {
                    running = false;
                    passed = kClockStopped;
                    restarted_ = false;
                } else if (t >= kChangeEnds && !restarted_) {
                    clock_ = passed = 0;  // startclock
                    restarted_ = true;
                }
                break;
            case Change::Freeze: running = !during; break;
            case Change::JumpBack:
            case Change::JumpForward:
                if (t >= kChangeAt && !jumped_) {
                    clock_ = passed = scenario_.change == Change::JumpBack ? kRate / 2 : 10 * kRate;
                    jumped_ = true;
                }
                break;
            default: break;
        }
        heard_.recordRender(written_, passed, running, static_cast<uint32_t>(frames));
        mixed_.push_back({written_, frames, clock_, running});
        written_ += frames;
        if (running) clock_ += frames;
    }

    struct Run {
        int64_t streamFrame;
        int64_t frames;
        int64_t clockFrame;  // what getclock showed: a stopped clock holds its last value
        bool running;
    };

    HeardClock& heard_;
    const Scenario scenario_;
    uint64_t seed_ = 12345;
    int64_t written_ = 0;
    int64_t clock_ = 0;
    bool restarted_ = true;
    bool jumped_ = false;
    double dry_ = 0.0;
    std::optional<double> lostAt_;
    std::vector<Run> mixed_;
};

class HeardClockScenarioTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(HeardClockScenarioTest, ReadsFollowWhatTheDevicePlaysSmoothlyAndNeverBackwards) {
    const Scenario& scenario = GetParam();
    HeardClock heard;
    EXPECT_FALSE(heard.clockSecondsAt(0)) << "nothing known before the output opens";
    SimulatedOutput output(heard, scenario);

    // Jitter of 2 ms, averaged over up to two seconds of reports, leaves a
    // few tenths of a millisecond once the fit has a second and a half of
    // them; before that, a few milliseconds (Wine's fast device starts 3 ms
    // behind, the fit leaning on the nominal rate at first).
    constexpr double kEarly = 0.25, kSettled = 1.5, kEnd = 4.0;
    // Reads made again this many quarter milliseconds later (1, 5, 20 and
    // 50 ms): what a press seen then and delivered now is timed with.
    constexpr int kRereadAfter[] = {4, 20, 80, 200};
    std::vector<std::optional<double>> reads;
    std::optional<double> last;
    int backSteps = 0, bigSteps = 0, rereadsChanged = 0;
    for (int quarter = 0; quarter * 0.25 * kMs < kEnd; ++quarter) {
        const double t = quarter * 0.25 * kMs;
        if (quarter % 4 == 0) {
            output.wake(t);
            for (const int after : kRereadAfter) {
                if (quarter < after || !reads[quarter - after]) continue;
                const std::optional<double> again = heard.clockSecondsAt(ticksAt((quarter - after) * 0.25 * kMs));
                if (again == reads[quarter - after]) continue;
                if (rereadsChanged++ == 0) {
                    ADD_FAILURE() << "read at " << (quarter - after) * 0.25 * kMs << " s: " << *reads[quarter - after]
                                  << ", read again at " << t << " s: " << (again ? *again : -1.0);
                }
            }
        }
        const std::optional<double> read = heard.clockSecondsAt(ticksAt(t));
        reads.push_back(read);
        if (!read) {
            ASSERT_FALSE(last) << "the heard clock vanished at " << t;
            continue;
        }
        if (last && *read < *last) backSteps++;
        if (last && *read - *last >= 1 * kMs) bigSteps++;
        last = read;
        if (t < kEarly) continue;
        // What the device played within the tolerance of t: near a jump,
        // either side of it. After the device stood dry, the reports of the
        // two seconds before still place it where it would have been, and
        // the clock follows them back over that time: off by no more than
        // the time it stood dry.
        const double tolerance = t < kSettled ? 5 * kMs : 0.25 * kMs;
        const double allowed = t >= kStallEnds ? output.dryTime() : 0.0;
        const double heardAt = output.heardTime(t);
        double low = output.truthAt(heardAt), high = low;
        for (int i = -16; i <= 16; ++i) {
            const double truth = output.truthAt(heardAt + i * tolerance / 16);
            low = std::min(low, truth);
            high = std::max(high, truth);
        }
        const double error = *read < low ? low - *read : *read > high ? *read - high : 0.0;
        EXPECT_LE(error, allowed + 1e-6) << "at " << t << " s: read " << *read << ", truth " << low << " to " << high;
        if (error > allowed + 1e-6) break;
    }
    EXPECT_EQ(rereadsChanged, 0) << "reads that gave another time when read again";
    EXPECT_TRUE(last) << "never a reading";
    EXPECT_EQ(backSteps, scenario.backSteps);
    EXPECT_EQ(bigSteps, scenario.bigSteps);
}

INSTANTIATE_TEST_SUITE_P(Devices, HeardClockScenarioTest,
                         ::testing::Values(Scenario{"nominal", 1.0, 0.0, Change::None},
                                           Scenario{"plus200ppm", 1.0002, 2.0, Change::None},
                                           Scenario{"minus200ppm", 0.9998, 2.0, Change::None},
                                           Scenario{"wineFileDevice", 1.5, 2.0, Change::None},
                                           Scenario{"stoppedThenStartedAtZero", 1.0002, 2.0, Change::Stop, 1, 0},
                                           Scenario{"frozenByGamePause", 0.9998, 2.0, Change::Freeze},
                                           Scenario{"jumpBack", 1.0002, 2.0, Change::JumpBack, 1, 0},
                                           Scenario{"jumpForward", 1.5, 2.0, Change::JumpForward, 0, 1},
                                           Scenario{"deviceLost", 1.0002, 2.0, Change::LoseDevice},
                                           Scenario{"audioThreadStalls", 1.0002, 0.0, Change::Stall},
                                           Scenario{"audioThreadStallsOnWine", 1.5, 0.0, Change::Stall}),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return info.param.name; });

TEST(HeardClockTest, NothingIsKnownUntilTheDeviceAndTheMixHaveSaid) {
    HeardClock heard;
    heard.open(kRate, kTicksPerSecond);
    EXPECT_FALSE(heard.clockSecondsAt(ticksAt(0.1))) << "no report yet";

    // A clock stopped since before this output: the mix cannot say where it stands.
    heard.recordRender(0, kClockStopped, false, 480);
    heard.reportDevicePosition(0, ticksAt(0.0));
    EXPECT_FALSE(heard.clockSecondsAt(ticksAt(0.005)));

    // Started at 3 s: heard once the device reaches the frames mixed after it.
    heard.recordRender(480, 3 * kRate, true, 480);
    EXPECT_FALSE(heard.clockSecondsAt(ticksAt(0.005))) << "still playing frames mixed while stopped";
    EXPECT_NEAR(*heard.clockSecondsAt(ticksAt(0.015)), 3.005, 1e-9);

    heard.close();
    EXPECT_FALSE(heard.clockSecondsAt(ticksAt(0.015))) << "the engine clock stands in again";
}

// Before the device's first report nothing mixed has been heard: the clock
// holds where the first frame mixed stands instead of running with the mix
// and then falling back to what the device plays.
TEST(HeardClockTest, BeforeTheFirstReportItHoldsAtTheFirstFrameMixed) {
    HeardClock heard;
    heard.open(kRate, kTicksPerSecond);
    heard.recordRender(0, kRate, true, 480);
    heard.recordRender(480, kRate + 480, true, 480);
    EXPECT_EQ(heard.clockSecondsAt(ticksAt(0.5)), 1.0);
    heard.reportDevicePosition(0, ticksAt(0.0));
    EXPECT_EQ(heard.clockSecondsAt(ticksAt(0.0)), 1.0);
    EXPECT_NEAR(*heard.clockSecondsAt(ticksAt(0.01)), 1.01, 1e-9);
}

// The device plays its 480 frames out at 10 ms and stands dry; the next
// render, at 20 ms, carries a clock that jumped to 5 s. What was read while
// the device stood dry must read the same afterwards: the end of what it had.
TEST(HeardClockTest, ReadsWhileTheDeviceStoodDryStayWhenTheNextFramesCome) {
    HeardClock heard;
    heard.open(kRate, kTicksPerSecond);
    heard.recordRender(0, 0, true, 480);
    heard.reportDevicePosition(0, ticksAt(0.0));
    const double dryAt[] = {0.012, 0.015, 0.020};
    for (const double t : dryAt) EXPECT_DOUBLE_EQ(*heard.clockSecondsAt(ticksAt(t)), 0.01) << "at " << t;

    heard.reportDevicePosition(480, ticksAt(0.020));
    heard.recordRender(480, 5 * kRate, true, 480);
    for (const double t : dryAt) EXPECT_DOUBLE_EQ(*heard.clockSecondsAt(ticksAt(t)), 0.01) << "again at " << t;
    // From the report on, the device plays the new frames.
    EXPECT_NEAR(*heard.clockSecondsAt(ticksAt(0.025)), 5.005, 1e-9);
}

TEST(HeardClockTest, TheAudioThreadSideNeitherAllocatesNorLocks) {
    HeardClock heard;
    heard.open(kRate, kTicksPerSecond);
    const int64_t allocations = renderAllocationCount(), locks = renderLockCount();
    {
        RenderingScope rendering;
        for (int wake = 0; wake < 2000; ++wake) {
            heard.recordRender(wake * 48, wake % 100 < 90 ? wake * 48 : kClockStopped, wake % 100 < 90, 48);
            heard.reportDevicePosition(wake * 48 - 480, ticksAt(wake * kMs));
        }
        heard.deviceLost(ticksAt(2.0));
    }
    EXPECT_EQ(renderAllocationCount(), allocations);
    EXPECT_EQ(renderLockCount(), locks);
}

}  // namespace
}  // namespace cl::test
