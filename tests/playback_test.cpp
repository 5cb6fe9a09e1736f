#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "clock/clock.h"
#include "fakes/mixer_fixture.h"
#include "fakes/sound_lock_holder.h"
#include "sound/playback.h"
#include "sound/scheduling.h"

namespace cl::test {
namespace {

using PlaybackTest = MixerTest;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Every per-sound call of this family, as (action words, call); results are
// widened to double so one table holds commands and queries alike.
struct SoundCallCase {
    const char* action;
    std::function<double(Engine&, uint32_t)> call;
};

std::vector<SoundCallCase> lockedCalls() {
    return {
        {"play",
         [](Engine& e, uint32_t id) {
             playFrom(e, id, 0.0);
             return 0.0;
         }},
        {"stop",
         [](Engine& e, uint32_t id) {
             stopSound(e, id);
             return 0.0;
         }},
        {"get position for", [](Engine& e, uint32_t id) { return getPosition(e, id); }},
        {"get length for", [](Engine& e, uint32_t id) { return getLength(e, id); }},
        {"get playing status for", [](Engine& e, uint32_t id) { return static_cast<double>(isPlaying(e, id)); }},
    };
}

TEST_F(PlaybackTest, RequestsShowAtOnceAndPositionFollowsTheRender) {
    const int32_t id = loadRamp(4800);
    EXPECT_EQ(isPlaying(engine_, id), 0);
    play(id);
    EXPECT_EQ(isPlaying(engine_, id), 1);
    EXPECT_EQ(getPosition(engine_, id), 0.0);
    render(480);
    EXPECT_EQ(getPosition(engine_, id), 480.0 / 48000.0);

    play(id);  // a restart: the waiting request hides the old position
    EXPECT_EQ(getPosition(engine_, id), 0.0);
    std::vector<float> out = renderLeft(240);
    EXPECT_EQ(rampFrame(out[0]), 0);
    EXPECT_EQ(getPosition(engine_, id), 240.0 / 48000.0);

    stopSound(engine_, id);  // the voice still runs until the next render
    EXPECT_EQ(isPlaying(engine_, id), 0);
    EXPECT_EQ(getPosition(engine_, id), 0.0);
    out = renderLeft(4);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(isPlaying(engine_, id), 0);
    stopSound(engine_, id);  // stopping an idle sound is no error
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(PlaybackTest, PlayFromStartsAtItsOffset) {
    struct Case {
        bool loop;
        double seconds;
        int64_t firstFrame;
    } cases[] = {
        {false, at(250), 250}, {false, at(999), 999},       {false, at(1000), -1},  // past the end: stays idle
        {false, 1e12, -1},     {true, at(1250), 250},                               // wraps around the length
        {true, at(1000), 0},   {true, at(3 * 1000 + 7), 7},
    };
    for (const Case& c : cases) {
        const int32_t id = loadRamp(1000);
        setLoop(engine_, id, c.loop);
        playFrom(engine_, id, c.seconds);
        const std::vector<float> out = renderLeft(1);
        EXPECT_EQ(rampFrame(out[0]), c.firstFrame) << c.seconds << (c.loop ? " looping" : "");
        EXPECT_EQ(isPlaying(engine_, id), c.firstFrame >= 0 && c.firstFrame < 999 ? 1 : 0) << c.seconds;
        stopSound(engine_, id);
        render(1);
    }
}

TEST_F(PlaybackTest, RefusedOffsetKeepsTheSoundAsItWas) {
    struct Case {
        double seconds;
        const char* message;
    } cases[] = {
        {-0.5, "Failed to play sound 0 (seconds cannot be negative)"},
        {-kInf, "Failed to play sound 0 (seconds cannot be negative)"},
        {kNaN, "Failed to play sound 0 (seconds cannot be NaN)"},
    };
    const int32_t id = loadRamp(1000);
    ASSERT_EQ(id, 0);
    play(id);
    render(100);
    const SoundRecord& record = *engine_.sounds.lookupSound(id);
    int64_t expected = 100;
    for (const Case& c : cases) {
        log_.clear();
        playFrom(engine_, id, c.seconds);
        EXPECT_TRUE(logged(c.message)) << c.seconds;
        EXPECT_EQ(record.playRequested.load(), 0) << c.seconds;
        EXPECT_EQ(record.playFromSeconds.load(), 0.0) << c.seconds;
        EXPECT_EQ(rampFrame(renderLeft(1)[0]), expected++) << "playing on from where it was";
    }

    stopSound(engine_, id);
    render(1);
    playFrom(engine_, id, -0.5);
    EXPECT_EQ(isPlaying(engine_, id), 0);  // an idle sound stays idle
    EXPECT_EQ(renderLeft(1)[0], 0.0f);
}

TEST_F(PlaybackTest, LengthIsMeasuredInOutputFrames) {
    EXPECT_EQ(getLength(engine_, loadConstant(96000, 0.1f)), 2.0);
    // 2 s loaded at half the output rate: converted to 96000 frames.
    const std::vector<float> half(48000, 0.1f);
    EXPECT_EQ(getLength(engine_, loadFrames(half, half, 0, 24000)), 2.0);
    EXPECT_EQ(getLength(engine_, loadConstant(3, 0.1f)), 3.0 / 48000.0);
}

TEST_F(PlaybackTest, PositionOfASoundThatPlayedToItsEndIsZero) {
    const int32_t id = loadRamp(100);
    play(id);
    render(99);
    EXPECT_EQ(getPosition(engine_, id), 99.0 / 48000.0);
    render(1);
    EXPECT_EQ(getPosition(engine_, id), 0.0);
    EXPECT_EQ(isPlaying(engine_, id), 0);
}

TEST_F(PlaybackTest, CallsOnAbsentSoundsSayTheSoundDoesNotExist) {
    const int32_t unloaded = loadRamp(1000);
    play(unloaded);
    render(10);  // its voice was running when it went
    unloadSound(engine_, unloaded);
    const uint32_t neverIssued = 99;

    std::vector<SoundCallCase> calls = lockedCalls();
    calls.push_back({"set position for", [](Engine& e, uint32_t id) {
                         setPosition(e, id, 0.5);
                         return 0.0;
                     }});
    for (uint32_t id : {static_cast<uint32_t>(unloaded), neverIssued}) {
        for (const SoundCallCase& c : calls) {
            log_.clear();
            EXPECT_EQ(c.call(engine_, id), 0.0) << c.action;
            const std::string message =
                std::string("Failed to ") + c.action + " sound " + std::to_string(id) + " (sound does not exist)";
            EXPECT_TRUE(logged(message)) << message;
            EXPECT_EQ(log_.lines().size(), 1u) << message;
        }
    }
}

TEST_F(PlaybackTest, LockedTableRefusesWithNeutralResults) {
    const int32_t id = loadRamp(1000);
    ASSERT_EQ(id, 0);
    play(id);
    render(100);  // playing, with a position and a length to report
    const SoundRecord& record = *engine_.sounds.lookupSound(id);
    {
        SoundLockHolder hold(engine_.sounds);
        for (const SoundCallCase& c : lockedCalls()) {
            log_.clear();
            EXPECT_EQ(c.call(engine_, id), 0.0) << c.action;
            EXPECT_TRUE(logged(std::string("Failed to ") + c.action + " sound 0 (sound is locked)")) << c.action;
        }
    }
    EXPECT_EQ(record.playRequested.load(), 0);  // neither request got through
    EXPECT_EQ(record.stopRequested.load(), 0);
    EXPECT_EQ(isPlaying(engine_, id), 1);
    EXPECT_EQ(getPosition(engine_, id), 100.0 / 48000.0);
}

TEST_F(PlaybackTest, SetPositionIsForTheMainThreadOnly) {
    const int32_t id = loadRamp(1000);
    std::thread([&] { setPosition(engine_, id, 0.5); }).join();
    EXPECT_TRUE(logged("SetPosition must be called from the main thread"));
    EXPECT_EQ(engine_.sounds.lookupSound(id)->playFromSeconds.load(), 0.0);
}

// The refusal rules, with the voice, its requests, its start events, the
// clock and the pause set by hand (nothing is rendered).
TEST_F(PlaybackTest, SetPositionRefusesWhilePlayingOrScheduledUnlessPaused) {
    constexpr const char* kPlaying =
        "Failed to set position for sound 0 [door] (cannot set position while sound is playing and audio is not "
        "paused)";
    constexpr const char* kScheduled =
        "Failed to set position for sound 0 [door] (cannot set position while sound is scheduled, clock is running "
        "and audio is not paused)";
    struct Case {
        const char* what;
        bool voice, playRequested, stopRequested;
        int64_t activeHead, pendingHead;
        bool clockRuns, audioPaused;
        const char* refusal;  // null: accepted
    } cases[] = {
        {"idle", false, false, false, kNoEvent, kNoEvent, true, false, nullptr},
        {"playing", true, false, false, kNoEvent, kNoEvent, false, false, kPlaying},
        {"playing, paused", true, false, false, kNoEvent, kNoEvent, false, true, nullptr},
        {"play requested", false, true, false, kNoEvent, kNoEvent, false, false, kPlaying},
        {"playing, stop requested", true, false, true, kNoEvent, kNoEvent, false, false, nullptr},
        {"active event, clock runs", false, false, false, 1000, kNoEvent, true, false, kScheduled},
        {"pending event, clock runs", false, false, false, kNoEvent, 1000, true, false, kScheduled},
        {"active event, clock stopped", false, false, false, 1000, kNoEvent, false, false, nullptr},
        {"active event, paused", false, false, false, 1000, kNoEvent, true, true, nullptr},
        {"scheduled and playing, clock stopped", true, false, false, 1000, kNoEvent, false, false, kPlaying},
        {"scheduled and playing, clock runs", true, false, false, 1000, kNoEvent, true, false, kScheduled},
    };
    const float samples[200] = {};
    const int32_t id = loadFloat(engine_, samples, 200, 2, 48000, 0, 1.0f, 0.0f, false, "door");
    ASSERT_EQ(id, 0);
    SoundRecord& record = *engine_.sounds.lookupSound(id);
    for (const Case& c : cases) {
        record.playPos = c.voice ? record.data.load() + 20 : nullptr;
        record.playRequested = c.playRequested;
        record.stopRequested = c.stopRequested;
        record.activeHead = c.activeHead;
        record.pendingHead = c.pendingHead;
        engine_.clock.clockFrame = c.clockRuns ? 0 : kClockStopped;
        engine_.pause.audioPaused = c.audioPaused;
        record.playFromSeconds = 0.0;
        log_.clear();

        setPosition(engine_, id, 0.25);
        if (c.refusal != nullptr) {
            EXPECT_TRUE(logged(c.refusal)) << c.what;
            EXPECT_EQ(record.playFromSeconds.load(), 0.0) << c.what;
        } else {
            EXPECT_TRUE(log_.lines().empty()) << c.what;
            EXPECT_EQ(record.playFromSeconds.load(), 0.25) << c.what;
        }
    }
    record.playPos = nullptr;
    record.playRequested = 0;
    record.stopRequested = 0;
    record.activeHead = kNoEvent;
    record.pendingHead = kNoEvent;
    engine_.pause.audioPaused = 0;

    setPosition(engine_, id, 0.25);
    setPosition(engine_, id, kNaN);
    EXPECT_TRUE(logged("Failed to set position for sound 0 [door] (seconds cannot be NaN)"));
    EXPECT_EQ(record.playFromSeconds.load(), 0.25);
}

TEST_F(PlaybackTest, StoredPositionIsUsedByTheNextStart) {
    // By a scheduled start.
    const int32_t scheduled = loadRamp(1000);
    setPosition(engine_, scheduled, at(300));
    scheduleClock(engine_, scheduled, 0.0, kInf);
    startClockFrom(engine_, 0.0);
    EXPECT_EQ(rampFrame(renderLeft(1)[0]), 300);
    stopSound(engine_, scheduled);
    stopClock(engine_);

    // By a play request already waiting (only possible while paused).
    const int32_t waiting = loadRamp(1000);
    engine_.pause.audioPaused = 1;
    play(waiting);
    setPosition(engine_, waiting, at(400));
    engine_.pause.audioPaused = 0;
    EXPECT_EQ(rampFrame(renderLeft(1)[0]), 400);
    stopSound(engine_, waiting);

    // Not by play or playfrom, which bring their own offset.
    const int32_t overwritten = loadRamp(1000);
    setPosition(engine_, overwritten, at(500));
    play(overwritten);
    EXPECT_EQ(rampFrame(renderLeft(1)[0]), 0);
    stopSound(engine_, overwritten);

    // A negative position is stored as given and starts at the first frame.
    const int32_t negative = loadRamp(1000);
    setPosition(engine_, negative, -2.0);
    EXPECT_EQ(engine_.sounds.lookupSound(negative)->playFromSeconds.load(), -2.0);
    scheduleClock(engine_, negative, 0.0, kInf);
    startClockFrom(engine_, 0.0);
    EXPECT_EQ(rampFrame(renderLeft(1)[0]), 0);
    EXPECT_TRUE(log_.lines().empty());
}

}  // namespace
}  // namespace cl::test
