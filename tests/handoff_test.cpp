// The hand-off between the game's threads and the audio thread, with each
// race forced: a scripted seam runs the other thread's call at the point
// where the two meet, so every interleaving that matters is tested on every
// run. The same rules under real threads: concurrency_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "clock/clock.h"
#include "core/output_format.h"
#include "fakes/mixer_fixture.h"
#include "fakes/scripted_seam.h"
#include "mixer/audio_handoff.h"
#include "mixer/channel_gains.h"
#include "sound/output_change.h"
#include "sound/scheduling.h"

namespace cl::test {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

class HandoffTest : public MixerTest {
protected:
    SoundRecord& recordOf(int32_t id) {
        return *engine_.sounds.slot(static_cast<uint32_t>(id) - engine_.sounds.firstSoundId());
    }
    static bool silent(const std::vector<float>& samples) {
        return std::all_of(samples.begin(), samples.end(), [](float s) { return s == 0.0f; });
    }
};

// No start of an unloaded sound ever fires and no request of it is taken
// over, by any route, while the record still sits in the table.
TEST_F(HandoffTest, AnUnloadedSoundNeverPlaysAgain) {
    struct Route {
        const char* name;
        std::function<void(int32_t id)> beforeUnload;
        std::function<void(int32_t id)> afterUnload;
    };
    const auto nothing = [](int32_t) {};
    const Route routes[] = {
        {"start event still in the pending queue",
         [&](int32_t id) {
             startClockFrom(engine_, 0.0);
             scheduleClock(engine_, id, at(100), kInf);
             render(10);  // the first event moves to the active queue
             scheduleClock(engine_, id, at(200), kInf);
         },
         nothing},
        {"start event in the active queue", [&](int32_t id) { scheduleClock(engine_, id, at(50), kInf); },
         [&](int32_t) { startClockFrom(engine_, 0.0); }},
        {"play that looked the sound up before the unload", nothing,
         [&](int32_t id) { recordOf(id).playRequested = kPlayRequested; }},
        {"looping voice already playing",
         [&](int32_t id) {
             setLoop(engine_, id, true);
             play(id);
             EXPECT_FALSE(silent(render(10)));
         },
         nothing},
    };
    for (const Route& route : routes) {
        stopClock(engine_);
        const int32_t id = loadConstant(1000, 0.5f);
        route.beforeUnload(id);
        unloadSound(engine_, id);  // audio runs: the record stays in its slot
        route.afterUnload(id);
        EXPECT_TRUE(silent(render(1500))) << route.name;
        EXPECT_EQ(recordOf(id).playPos.load(), nullptr) << route.name;
    }
}

// The swap of the queues is decided from the queues under the lock, not
// from heads read before it: an unschedule or a push made in between leaves
// heads that match their queues and starts exact to the frame.
TEST_F(HandoffTest, QueueSwapSeesWhatChangedBeforeItsLock) {
    const int32_t id = loadRamp(1000);
    SoundRecord& record = recordOf(id);
    startClockFrom(engine_, 0.0);

    scheduleClock(engine_, id, at(100), kInf);
    {
        const SeamScript unscheduleThere([&](HandoffPoint point) {
            if (point == HandoffPoint::BeforeQueueSwap) unscheduleSound(engine_, id);
        });
        fireDueStartEvents<ScriptedSeam>(record, 100, 48000);
    }
    EXPECT_EQ(record.playPos.load(), nullptr);
    EXPECT_EQ(record.activeHead.load(), kNoEvent);
    EXPECT_EQ(record.pendingHead.load(), kNoEvent);

    scheduleClock(engine_, id, at(100), kInf);
    bool pushed = false;
    {
        const SeamScript pushThere([&](HandoffPoint point) {
            if (point != HandoffPoint::BeforeQueueSwap || pushed) return;
            pushed = true;
            scheduleClock(engine_, id, at(50), kInf);  // earlier than the head the mixer saw
        });
        fireDueStartEvents<ScriptedSeam>(record, 40, 48000);
    }
    ASSERT_TRUE(pushed);
    EXPECT_EQ(record.activeHead.load(), record.activeQueue->head());
    EXPECT_EQ(record.pendingHead.load(), record.pendingQueue->head());
    int64_t started = -1;
    for (int64_t clock = 41; clock <= 100 && started < 0; ++clock) {
        fireDueStartEvents(record, clock, 48000);
        if (record.playPos.load() != nullptr) started = clock;
    }
    EXPECT_EQ(started, 50);
}

// isplaying answers 1 from the moment play returns and 0 from the moment
// stop returns, at every point of the mixer's take-over.
TEST_F(HandoffTest, IsPlayingAnswersTheRequestThroughoutTheTakeOver) {
    const int32_t id = loadConstant(1000, 0.5f);
    SoundRecord& record = recordOf(id);
    std::vector<std::pair<HandoffPoint, int32_t>> seen;
    const SeamScript ask([&](HandoffPoint point) { seen.emplace_back(point, isPlaying(engine_, id)); });

    play(id);
    takeOverRequests<ScriptedSeam>(record, true, 48000);
    EXPECT_EQ(seen, (std::vector<std::pair<HandoffPoint, int32_t>>{{HandoffPoint::PlayClaimed, 1},
                                                                   {HandoffPoint::VoiceStarted, 1}}));
    EXPECT_EQ(isPlaying(engine_, id), 1);

    seen.clear();
    stopSound(engine_, id);
    takeOverRequests<ScriptedSeam>(record, true, 48000);
    EXPECT_EQ(seen, (std::vector<std::pair<HandoffPoint, int32_t>>{{HandoffPoint::StopSeen, 0}}));
    EXPECT_EQ(isPlaying(engine_, id), 0);
}

// A play made while the mixer takes over the previous one is not cleared
// with it: it restarts the voice, from its own offset, at the next call.
TEST_F(HandoffTest, PlayDuringTheTakeOverIsKeptForTheNextCall) {
    const int32_t id = loadRamp(1000);
    SoundRecord& record = recordOf(id);
    play(id);
    {
        const SeamScript playAgain([&](HandoffPoint point) {
            if (point == HandoffPoint::VoiceStarted) playFrom(engine_, id, at(300));
        });
        takeOverRequests<ScriptedSeam>(record, true, 48000);
    }
    EXPECT_EQ(record.playRequested.load(), kPlayRequested);
    EXPECT_EQ(rampFrame(renderLeft(1)[0]), 300);
}

// A wait that timed out grants nothing: with a render stuck in progress the
// main thread neither frees records nor uses the active queues.
TEST_F(HandoffTest, ATimedOutWaitGrantsNothing) {
    engine_.renderYieldTimeout = std::chrono::milliseconds(5);
    for (const char* wait : {"PauseAudio", "StopClock"}) {
        startClockFrom(engine_, 0.0);
        const int32_t id = loadRamp(100);
        const SoundRecord& record = recordOf(id);
        const uint32_t loaded = engine_.sounds.soundCount();
        engine_.pause.renderActive = 1;  // a render that does not return
        if (std::string(wait) == "PauseAudio") {
            EXPECT_FALSE(pauseAudio(engine_));
        } else {
            stopClock(engine_);
        }
        ASSERT_TRUE(logged(std::string(wait) + " timed out waiting for audio thread to yield"));

        scheduleClock(engine_, id, at(500), kInf);
        EXPECT_EQ(record.activeHead.load(), kNoEvent) << wait;  // only the pending queue, under its lock
        EXPECT_EQ(record.pendingHead.load(), 500) << wait;
        for (uint32_t i = 0; i < loaded; ++i) {
            const uint32_t each = engine_.sounds.firstSoundId() + i;
            if (engine_.sounds.lookupSound(each)) unloadSound(engine_, each);
        }
        EXPECT_EQ(engine_.sounds.soundCount(), loaded) << wait << ": freed under a render";

        engine_.pause.renderActive = 0;  // the render returns at last
        if (std::string(wait) == "PauseAudio") {
            unloadSound(engine_, loadRamp(10));  // paused, handshake now true: all go
            EXPECT_EQ(engine_.sounds.soundCount(), 0u);
            unpauseAudio(engine_);
        }
    }
}

// Two threads setting levels of one sound at once: the targets follow the
// last stored parameters, whichever setter stores its targets last.
TEST_F(HandoffTest, GainTargetsFollowTheLatestLevels) {
    const int32_t id = loadConstant(100, 1.0f);
    SoundRecord& record = recordOf(id);
    bool once = false;
    const SeamScript setVolumeThere([&](HandoffPoint point) {
        if (point != HandoffPoint::ChannelGainsComputed || once) return;
        once = true;
        setVoiceParam(engine_, id, VoiceParam::Volume, 0.25f);
    });
    setLevelParameter<ScriptedSeam>(record, record.gain, 0.5f);
    ASSERT_TRUE(once);
    EXPECT_EQ(record.targetLeft.load(), 0.125f);
    EXPECT_EQ(record.targetRight.load(), 0.125f);
}

// A level set just as the mixer starts the voice never cuts the ramp that
// has begun: the output moves by at most one ramp step per frame.
TEST_F(HandoffTest, ALevelSetAsTheVoiceStartsNeverJumps) {
    const float step = engine_.output.rampStep.load();
    for (HandoffPoint at : {HandoffPoint::ChannelGainsComputed, HandoffPoint::ChannelGainsStored}) {
        const int32_t id = loadConstant(2000, 1.0f);
        SoundRecord& record = recordOf(id);
        play(id);
        std::vector<float> out;
        const SeamScript startThere([&](HandoffPoint point) {
            if (point == at && out.empty()) out = renderLeft(8);  // the voice starts meanwhile
        });
        setLevelParameter<ScriptedSeam>(record, record.volume, 0.0f);
        const std::vector<float> rest = renderLeft(900);
        out.insert(out.end(), rest.begin(), rest.end());
        for (size_t i = 1; i < out.size(); ++i) {
            ASSERT_LE(std::fabs(out[i] - out[i - 1]), step * 1.0001f) << "frame " << i;
        }
        EXPECT_EQ(out.back(), 0.0f);
        stopSound(engine_, id);
        render(1);
    }
}

// A log receiver may call back into the library: no line is logged while
// a lock of the library is held.
Engine* probedEngine = nullptr;
std::vector<std::string> linesUnderALock;

void probeLocks(const char* line) {
    Engine& engine = *probedEngine;
    bool free = false;
    std::thread([&] {  // another thread, since a lock may not be tried by its owner
        const bool table = engine.sounds.soundTableLock.try_lock();
        if (table) engine.sounds.soundTableLock.unlock();
        const bool access = engine.sounds.soundAccessLock.try_lock();
        if (access) engine.sounds.soundAccessLock.unlock();
        const bool format = engine.formatLock.try_lock();
        if (format) engine.formatLock.unlock();
        free = table && access && format;
    })
        .join();
    if (!free) linesUnderALock.push_back(LogCapture::body(line));
}

TEST_F(HandoffTest, NoLineIsLoggedUnderALock) {
    probedEngine = &engine_;
    linesUnderALock.clear();
    const int32_t id = loadConstant(10, 0.5f);
    engine_.log.setCallback(0, probeLocks);
    getVoiceParam(engine_, 999, VoiceParam::Gain);
    playFrom(engine_, id, -1.0);
    playFrom(engine_, id, std::nan(""));
    setVoiceParam(engine_, id, VoiceParam::Volume, std::nanf(""));
    unloadSound(engine_, 999);
    fake_->resampleThrows = true;
    setOutputFormat(engine_, SampleFormat::Float32, 44100, 2);  // "Failed to convert ..."
    fake_->resampleThrows = false;
    engine_.log.setCallback(0, nullptr);
    while (engine_.sounds.soundCount() < SoundTable::MAX_SOUNDS) loadConstant(1, 0.5f);
    engine_.log.setCallback(0, probeLocks);
    loadConstant(1, 0.5f);  // "MAX_SOUNDS has been exceeded ..."
    engine_.log.setCallback(0, nullptr);
    EXPECT_EQ(linesUnderALock, std::vector<std::string>{});
}

}  // namespace
}  // namespace cl::test
