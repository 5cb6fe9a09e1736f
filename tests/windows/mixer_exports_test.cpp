// Playback, per-sound parameters, bus volumes, limiter, clock, scheduling,
// pause and tick through the exports of the loaded DLL. The null output
// renders nothing, so these check what the calls do on their own: floats,
// doubles and bools crossing the boundary intact, each name reaching its own
// function, and the refusals logged from the right thread.
#include <windows.h>

#include <gmock/gmock.h>

#include <cmath>
#include <thread>
#include <vector>

#include "loaded_library.h"
#include "other_thread.h"

namespace cltest {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

const float kNaNf = std::nanf("");
const double kNaN = std::nan("");

// Output at 48000 Hz and sound 0: two seconds of stereo at that rate.
class MixerExports : public LoadedCantrelle {
protected:
    void SetUp() override {
        LoadedCantrelle::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(openNullOutput(48000));
        const std::vector<float> samples(2 * 48000 * 2, 0.25f);
        ASSERT_EQ(cl.loadfloat(samples.data(), static_cast<uint32_t>(samples.size()), 2, 48000, 0, 1.0f, 0.0f, 0,
                               "two seconds"),
                  0);
        ASSERT_THAT(logged(), IsEmpty());
    }

    const uint32_t sound_ = 0;
};

// ---- Playback -------------------------------------------------------------

TEST_F(MixerExports, PlayIsSeenAtOnceAndStopEndsIt) {
    cl.play(sound_);
    EXPECT_EQ(cl.isplaying(sound_), 1);
    EXPECT_EQ(cl.getposition(sound_), 0.0);  // the request waits for a render
    cl.stop(sound_);
    EXPECT_EQ(cl.isplaying(sound_), 0);
    EXPECT_THAT(logged(), IsEmpty());
}

TEST_F(MixerExports, PlayFromTakesItsOffsetAsADouble) {
    cl.playfrom(sound_, -0.5);
    cl.playfrom(sound_, kNaN);
    EXPECT_EQ(cl.isplaying(sound_), 0);
    EXPECT_THAT(logged(), ElementsAre(logLine("Failed to play sound 0 (seconds cannot be negative)"),
                                      logLine("Failed to play sound 0 (seconds cannot be NaN)")));

    cl.playfrom(sound_, 0.5);
    EXPECT_EQ(cl.isplaying(sound_), 1);
    EXPECT_THAT(logged(), IsEmpty());
}

TEST_F(MixerExports, LengthIsInSecondsAtTheOutputRate) {
    EXPECT_EQ(cl.getlength(sound_), 2.0);
    EXPECT_EQ(cl.getlength(7), 0.0);
    EXPECT_THAT(logged(), ElementsAre(logLine("Failed to get length for sound 7 (sound does not exist)")));
}

// ---- Per-sound parameters -------------------------------------------------

TEST_F(MixerExports, PerSoundSettersClampAndEachGetterReadsItsOwnValue) {
    struct ParamCase {
        const char* name;
        decltype(&::setgain) Exports::*set;
        decltype(&::getgain) Exports::*get;
        float value;
        float expected;
    };
    const ParamCase cases[] = {
        {"gain", &Exports::setgain, &Exports::getgain, -6.0206f, -6.0206f},
        {"volume", &Exports::setvolume, &Exports::getvolume, 1.5f, 1.0f},
        {"fade", &Exports::setfade, &Exports::getfade, -0.5f, 0.0f},
        {"pan", &Exports::setpan, &Exports::getpan, -3.0f, -1.0f},
    };
    for (const ParamCase& c : cases) (cl.*c.set)(sound_, c.value);
    for (const ParamCase& c : cases) EXPECT_NEAR((cl.*c.get)(sound_), c.expected, 1e-4f) << c.name;

    // Values inside the ranges arrive unchanged.
    cl.setvolume(sound_, 0.3f);
    cl.setfade(sound_, 0.7f);
    cl.setpan(sound_, 0.25f);
    EXPECT_EQ(cl.getvolume(sound_), 0.3f);
    EXPECT_EQ(cl.getfade(sound_), 0.7f);
    EXPECT_EQ(cl.getpan(sound_), 0.25f);
    EXPECT_THAT(logged(), IsEmpty());

    cl.setpan(sound_, kNaNf);
    EXPECT_EQ(cl.getpan(sound_), 0.25f);
    EXPECT_THAT(logged(), ElementsAre(logLine("Failed to set pan for sound 0 (value cannot be NaN)")));
}

TEST_F(MixerExports, LoopIsOnForAnyNonZeroValue) {
    EXPECT_FALSE(cl.getloop(sound_));
    cl.setloop(sound_, 1);
    EXPECT_TRUE(cl.getloop(sound_));
    cl.setloop(sound_, 0);
    EXPECT_FALSE(cl.getloop(sound_));
    cl.setloop(sound_, -256);  // non-zero, though its low byte is zero
    EXPECT_TRUE(cl.getloop(sound_));
    EXPECT_FALSE(cl.getloop(7));
    EXPECT_THAT(logged(), ElementsAre(logLine("Failed to get loop status for sound 7 (sound does not exist)")));
}

TEST_F(MixerExports, SpeedAndPitchKeepTheirLoadValues) {
    const float samples[4] = {0.1f, 0.1f, 0.2f, 0.2f};
    ASSERT_EQ(cl.loadfloat(samples, 4, 2, 48000, 2, 1.5f, -3.5f, 0, "fixed"), 1);
    cl.setspeed(1, 2.0f);
    cl.setsemitones(1, 5.0f);
    EXPECT_EQ(cl.getspeed(1), 1.5f);
    EXPECT_EQ(cl.getsemitones(1), -3.5f);
    EXPECT_THAT(
        logged(),
        ElementsAre(logLine("Failed to set speed for sound 1 (sound does not allow runtime speed updates)"),
                    logLine("Failed to set semitones for sound 1 (sound does not allow runtime speed updates)")));
}

// ---- Bus volumes and limiter ----------------------------------------------

TEST_F(MixerExports, BusVolumesClampAndEachGetterReadsItsOwnBus) {
    struct BusCase {
        const char* name;
        decltype(&::setmusicvolume) Exports::*set;
        decltype(&::getmusicvolume) Exports::*get;
        float value;
        float expected;
    };
    const BusCase cases[] = {
        {"global", &Exports::setglobalvolume, &Exports::getglobalvolume, 1.5f, 1.0f},
        {"music", &Exports::setmusicvolume, &Exports::getmusicvolume, -1.0f, 0.0f},
        {"sfx", &Exports::setsfxvolume, &Exports::getsfxvolume, 0.25f, 0.25f},
        {"menu", &Exports::setmenuvolume, &Exports::getmenuvolume, 0.5f, 0.5f},
    };
    for (const BusCase& c : cases) (cl.*c.set)(c.value);
    for (const BusCase& c : cases) EXPECT_EQ((cl.*c.get)(), c.expected) << c.name;
    EXPECT_THAT(logged(), IsEmpty());
}

TEST_F(MixerExports, LimiterSettersClampAndTheMetersStartAtRest) {
    EXPECT_EQ(cl.getlimiterscale(), 1.0f);
    EXPECT_EQ(cl.getmaxsample(), 0.0f);

    cl.setlimiterthreshold(-6.5f);
    cl.setlimiterrelease(120.0f);
    EXPECT_EQ(cl.getlimiterthreshold(), -6.5f);
    EXPECT_EQ(cl.getlimiterrelease(), 120.0f);

    cl.setlimiterthreshold(3.0f);
    cl.setlimiterrelease(-5.0f);
    EXPECT_EQ(cl.getlimiterthreshold(), 0.0f);
    EXPECT_EQ(cl.getlimiterrelease(), 0.0f);
    EXPECT_THAT(logged(), IsEmpty());
}

// ---- Clock ----------------------------------------------------------------

TEST_F(MixerExports, ClockStartsFromADoubleAndKeepsItsTimeWhenStopped) {
    EXPECT_FALSE(cl.clockrunning());
    cl.startclockfrom(2.5);
    EXPECT_EQ(cl.getclock(), 2.5);
    EXPECT_TRUE(cl.clockrunning());

    cl.stopclock();
    EXPECT_FALSE(cl.clockrunning());
    EXPECT_EQ(cl.getclock(), 2.5);

    cl.startclock();
    EXPECT_EQ(cl.getclock(), 0.0);
    EXPECT_TRUE(cl.clockrunning());
    EXPECT_THAT(logged(), IsEmpty());
}

TEST_F(MixerExports, ClockRefusesATimeThatIsNotFinite) {
    cl.startclockfrom(kNaN);
    EXPECT_FALSE(cl.clockrunning());
    EXPECT_EQ(cl.getclock(), 0.0);
    EXPECT_THAT(logged(), ElementsAre(logLine("Failed to start clock (clock time must be finite)")));
}

// ---- Scheduling, pause and tick -------------------------------------------

TEST_F(MixerExports, ScheduleTakesItsStartBeforeItsStop) {
    cl.scheduleclock(sound_, 2.0, 1.0);
    EXPECT_THAT(logged(),
                ElementsAre(logLine("Failed to schedule sound 0 (stopSeconds cannot be before startSeconds)")));

    // Accepted, the schedule shows in setposition's refusal while the clock runs.
    cl.startclock();
    cl.scheduleclock(sound_, 1.0, 2.0);
    cl.scheduleclock(sound_, 3.0, INFINITY);
    cl.setposition(sound_, 0.5);
    EXPECT_THAT(logged(), ElementsAre(logLine("Failed to set position for sound 0 [two seconds] (cannot set position "
                                              "while sound is scheduled, clock is running and audio is not paused)")));
    cl.unschedule(sound_);
    cl.setposition(sound_, 0.5);
    EXPECT_THAT(logged(), IsEmpty());
}

TEST_F(MixerExports, PauseAudioSucceedsWithoutAnAudioThread) {
    cl.play(sound_);
    EXPECT_TRUE(cl.pauseaudio());
    cl.setposition(sound_, 1.0);  // allowed while audio is paused
    EXPECT_THAT(logged(), IsEmpty());

    cl.unpauseaudio();
    cl.setposition(sound_, 1.0);
    EXPECT_THAT(logged(), ElementsAre(logLine("Failed to set position for sound 0 [two seconds] (cannot set position "
                                              "while sound is playing and audio is not paused)")));

    cl.pausegameaudio();
    cl.unpausegameaudio();
    cl.tick();
    EXPECT_THAT(logged(), IsEmpty());
}

TEST_F(MixerExports, MainThreadCallsRefuseOtherThreads) {
    bool paused = true;
    const DWORD other = onOtherThread([&] {
        cl.scheduleclock(sound_, 1.0, 2.0);
        cl.unschedule(sound_);
        paused = cl.pauseaudio();
        cl.unpauseaudio();
        cl.tick();
        cl.setspeed(sound_, 2.0f);
    });
    EXPECT_FALSE(paused);
    EXPECT_THAT(logged(), ElementsAre(logLine("ScheduleClock must be called from the main thread", other),
                                      logLine("Unschedule must be called from the main thread", other),
                                      logLine("PauseAudio must be called from the main thread", other),
                                      logLine("UnpauseAudio must be called from the main thread", other),
                                      logLine("TickAudio must be called from the main thread", other),
                                      logLine("SetSpeed must be called from the main thread", other)));

    // Pausing the game's buses is allowed from any thread.
    onOtherThread([&] {
        cl.pausegameaudio();
        cl.unpausegameaudio();
    });
    EXPECT_THAT(logged(), IsEmpty());
}

}  // namespace
}  // namespace cltest
