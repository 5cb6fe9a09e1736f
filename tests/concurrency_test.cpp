// A real thread renders in a loop, as the audio thread does, while the
// game's threads and the main thread use every call that reaches the mixer.
// Run under ThreadSanitizer, these show the shared state is race-free; the
// checks at the end show no request or event was lost and no freed record
// was touched (AddressSanitizer).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <thread>

#include "clock/clock.h"
#include "engine/tick.h"
#include "fakes/mixer_fixture.h"
#include "mixer/limiter_controls.h"
#include "sound/scheduling.h"

namespace cl::test {
namespace {

class ConcurrencyTest : public MixerTest {
protected:
    explicit ConcurrencyTest(uint32_t periodFrames = 480) : periodFrames_(periodFrames) {}
    void SetUp() override {
        MixerTest::SetUp();
        audioThread_ = std::thread([this] {
            std::vector<uint8_t> buffer(periodFrames_ * 8);
            const RenderingScope rendering;
            const int64_t allocations = renderAllocationCount();
            for (int64_t streamFrame = 0; !stopAudio_.load(); streamFrame += periodFrames_) {
                renderPeriod(engine_, buffer.data(), periodFrames_, streamFrame);
                periods_.fetch_add(1);
            }
            renderAllocations_ = renderAllocationCount() - allocations;
        });
    }
    void TearDown() override {
        stopAudio_ = true;
        audioThread_.join();
        EXPECT_EQ(renderAllocations_, 0) << "the audio thread allocated";
    }
    // Lets the audio thread render at least `count` more periods.
    void awaitPeriods(int64_t count) {
        const int64_t target = periods_.load() + count;
        while (periods_.load() < target) std::this_thread::yield();
    }
    // Returns once the clock has passed `frame` and a render that began
    // after this call has ended. The render in progress may have listed its
    // sounds before the caller's last call, and a thread preempted for a
    // while finds the clock already past `frame`: only the next render is
    // sure to have seen everything.
    void awaitClockPastAndAFreshRender(int64_t frame) {
        while (engine_.clock.clockFrame.load() <= frame) awaitPeriods(1);
        awaitPeriods(2);
    }

    const uint32_t periodFrames_;
    std::atomic<bool> stopAudio_{false};
    std::atomic<int64_t> periods_{0};
    int64_t renderAllocations_ = 0;
    std::thread audioThread_;
};

TEST_F(ConcurrencyTest, GameAndMainThreadsAgainstARenderingAudioThread) {
    constexpr int kSounds = 12;
    for (int i = 0; i < kSounds; ++i) {
        const int32_t id = loadRamp(3000 + 100 * i, static_cast<uint32_t>(i % 4));
        if (i % 3 == 0) setLoop(engine_, id, true);
    }
    startClockFrom(engine_, 0.0);

    std::atomic<bool> gameDone{false};
    std::thread game([&] {
        std::mt19937 random(1);
        for (int op = 0; op < 4000; ++op) {
            const uint32_t id = random() % (kSounds + 2);  // some ids name no sound
            switch (random() % 10) {
                case 0: playFrom(engine_, id, 0.01 * (random() % 10)); break;
                case 1: stopSound(engine_, id); break;
                case 2: setVoiceParam(engine_, id, VoiceParam::Volume, (random() % 100) / 100.0f); break;
                case 3: setVoiceParam(engine_, id, VoiceParam::Pan, (random() % 200) / 100.0f - 1.0f); break;
                case 4: setLoop(engine_, id, random() % 2); break;
                case 5: getPosition(engine_, id), isPlaying(engine_, id), getLength(engine_, id); break;
                case 6: setBusVolume(engine_, static_cast<Bus>(random() % 4), (random() % 100) / 100.0f); break;
                case 7: setLimiterThreshold(engine_, -(random() % 12) * 1.0f), setLimiterRelease(engine_, 50.0f); break;
                case 8: takeMaxSample(engine_), takeLimiterScale(engine_), getClock(engine_); break;
                case 9: unloadSound(engine_, loadRamp(500)); break;  // marks only: not the main thread
            }
        }
        gameDone = true;
    });

    std::mt19937 random(2);
    double latestStart = 0.0;
    for (int op = 0; !gameDone.load() || op < 400; ++op) {
        const uint32_t id = random() % kSounds;
        switch (random() % 8) {
            case 0:
            case 1: {
                const double now = getClock(engine_);
                const double start = now + 0.001 * (random() % 50);
                scheduleClock(engine_, id, start, now + 0.05);
                latestStart = std::max(latestStart, start);
                break;
            }
            case 2: unscheduleSound(engine_, id); break;
            case 3: setPosition(engine_, id, 0.01); break;
            case 4:
                ASSERT_TRUE(pauseAudio(engine_));
                unpauseAudio(engine_);
                break;
            case 5:
                pauseGameAudio(engine_);
                unpauseGameAudio(engine_);
                break;
            case 6: {  // restart where it stood: a jump back would leave events far ahead
                const double now = getClock(engine_);
                stopClock(engine_);
                startClockFrom(engine_, now);
                break;
            }
            case 7: tick(engine_); break;
        }
    }
    game.join();

    // Every scheduled event is consumed once the clock has passed it.
    for (uint32_t id = 0; id < kSounds; ++id) {
        const double start = getClock(engine_) + 0.001;
        scheduleClock(engine_, id, start, std::numeric_limits<double>::infinity());
        latestStart = std::max(latestStart, start);
    }
    awaitClockPastAndAFreshRender(static_cast<int64_t>(latestStart * 48000.0) + 1);
    for (uint32_t id = 0; id < kSounds; ++id) {
        const SoundRecord& record = *engine_.sounds.lookupSound(id);
        EXPECT_EQ(record.activeHead.load(), kNoEvent) << id;
        EXPECT_EQ(record.pendingHead.load(), kNoEvent) << id;
    }

    // A request made now is taken over by the next render.
    for (uint32_t id = 0; id < kSounds; ++id) stopSound(engine_, id);
    setLoop(engine_, 1, true);  // however late this thread looks, it still plays
    playFrom(engine_, 1, 0.0);
    awaitPeriods(2);
    EXPECT_EQ(isPlaying(engine_, 1), 1);
    EXPECT_GT(getPosition(engine_, 1), 0.0);
    EXPECT_EQ(isPlaying(engine_, 2), 0);

    // Unloaded everywhere, freed after the pause handshake, while rendering goes on.
    const uint32_t count = engine_.sounds.soundCount();
    const uint32_t first = engine_.sounds.firstSoundId();
    std::thread([&] {
        for (uint32_t id = first; id < first + count; ++id) unloadSound(engine_, id);
    }).join();
    ASSERT_TRUE(pauseAudio(engine_));
    EXPECT_EQ(engine_.sounds.soundCount(), 0u);
    unpauseAudio(engine_);
    const int32_t next = loadRamp(1000);
    EXPECT_EQ(static_cast<uint32_t>(next), first + count);
    setLoop(engine_, next, true);
    play(next);
    awaitPeriods(2);
    EXPECT_EQ(isPlaying(engine_, next), 1);
}

// Eight game threads on every call a game thread may make (per-sound
// calls on loaded, unloaded, freed and never-issued ids, loads, unloads,
// bus volumes, the limiter) while the main thread schedules, pauses,
// restarts the clock and, in rounds, unloads everything and frees it,
// for a bounded time. After every call the answer must be one a game can
// rely on; at the end every sound's state is consistent, and a freed
// record was never touched (AddressSanitizer) nor raced on (ThreadSanitizer).
// Invariant: a period rendered with the clock stopped records the frame
// getclock reports for the stopped clock, even when the stop lands in the
// middle of a render that advances the clock.
TEST_F(ConcurrencyTest, AStoppedClockIsRecordedWhereGetclockSaysItStopped) {
    play(loadConstant(48000, 0.25f));
    int mismatches = 0;
    for (int round = 0; round < 300; ++round) {
        startClockFrom(engine_, round);
        awaitPeriods(2);  // a whole period ran: the runs since it are this stop's
        stopClock(engine_);
        const int64_t stoppedAt = secondsToFrames(getClock(engine_), 48000);
        awaitPeriods(2);  // a period begun after the stop has been recorded
        // Every run since the last that ran: a render that saw the stop
        // before its frame was in place would have recorded a stale one.
        const StreamRecords records = engine_.clock.heard.snapshot().records;
        ASSERT_EQ(records.record(records.size() - 1).running, 0);
        for (size_t i = records.size(); i-- > 0 && records.record(i).running == 0;) {
            const int64_t held = records.record(i).clockFrame;
            if (held != stoppedAt && mismatches++ < 5) {
                ADD_FAILURE() << "round " << round << ": getclock stopped at " << stoppedAt << " frames, a run holds "
                              << held;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(ConcurrencyTest, EightGameThreadsAgainstTheMainThreadFreeingSounds) {
    constexpr int kGameThreads = 8;
    constexpr uint32_t kSounds = 12;
    constexpr uint32_t kLongest = 4800;  // frames: longer than any sound loaded here
    const auto began = std::chrono::steady_clock::now();
    const auto deadline = began + std::chrono::seconds(2);
    auto loadSet = [&] {
        for (uint32_t i = 0; i < kSounds; ++i) loadRamp(1000 + 300 * i, i % 4);
    };
    loadSet();
    startClockFrom(engine_, 0.0);

    std::atomic<bool> loadsAllowed{true};
    std::atomic<int> loadsInFlight{0};
    std::atomic<bool> done{false};
    std::atomic<int64_t> gameCalls{0};
    auto game = [&](unsigned seed) {
        std::mt19937 random(seed);
        auto someId = [&] {
            const uint32_t first = engine_.sounds.firstSoundId();
            return first + random() % (2 * kSounds) - (random() % 4 == 0 ? kSounds : 0);  // some freed or never issued
        };
        int64_t calls = 0;
        while (!done.load(std::memory_order_relaxed)) {
            const uint32_t id = someId();
            const float level = (static_cast<int>(random() % 300) - 100) / 100.0f;
            switch (random() % 12) {
                case 0: playFrom(engine_, id, 0.001 * (random() % 50)); break;
                case 1: stopSound(engine_, id); break;
                case 2: setVoiceParam(engine_, id, static_cast<VoiceParam>(random() % 4), level); break;
                case 3: {
                    const float volume = getVoiceParam(engine_, id, VoiceParam::Volume);
                    const float pan = getVoiceParam(engine_, id, VoiceParam::Pan);
                    ASSERT_TRUE(volume >= 0.0f && volume <= 1.0f) << volume;
                    ASSERT_TRUE(pan >= -1.0f && pan <= 1.0f) << pan;
                    break;
                }
                case 4: setLoop(engine_, id, random() % 2), getLoop(engine_, id); break;
                case 5: {
                    const double position = getPosition(engine_, id);
                    const double length = getLength(engine_, id);
                    ASSERT_TRUE(position >= 0.0 && position <= kLongest / 48000.0) << position;
                    ASSERT_TRUE(length >= 0.0 && length <= kLongest / 48000.0) << length;
                    const int32_t playing = isPlaying(engine_, id);
                    ASSERT_TRUE(playing == 0 || playing == 1) << playing;
                    break;
                }
                case 6: {
                    setBusVolume(engine_, static_cast<Bus>(random() % 4), level);
                    const float volume = getBusVolume(engine_, static_cast<Bus>(random() % 4));
                    ASSERT_TRUE(volume >= 0.0f && volume <= 1.0f) << volume;
                    break;
                }
                case 7: setLimiterThreshold(engine_, -level * 6.0f), takeLimiterScale(engine_); break;
                case 8: {
                    const float peak = takeMaxSample(engine_);
                    ASSERT_TRUE(std::isfinite(peak) && peak >= 0.0f) << peak;
                    break;
                }
                case 9:
                case 10: {
                    loadsInFlight.fetch_add(1);
                    if (loadsAllowed.load()) {
                        const int32_t loaded = loadRamp(200 + random() % 400, random() % 4);
                        if (loaded >= 0 && random() % 2) playFrom(engine_, static_cast<uint32_t>(loaded), 0.0);
                    }
                    loadsInFlight.fetch_sub(1);
                    break;
                }
                case 11: unloadSound(engine_, id); break;  // marks only: not the main thread
            }
            ++calls;
        }
        gameCalls.fetch_add(calls);
    };
    std::vector<std::thread> games;
    for (int i = 0; i < kGameThreads; ++i) games.emplace_back(game, 100 + i);

    std::mt19937 random(7);
    int releases = 0;
    // Two seconds, and however slow a loaded machine makes this thread, at
    // least two frees of every sound.
    constexpr int kLeastReleases = 2;
    for (int op = 0; std::chrono::steady_clock::now() < deadline || releases < kLeastReleases; ++op) {
        const uint32_t id = engine_.sounds.firstSoundId() + random() % (2 * kSounds);
        switch (random() % 9) {
            case 0:
            case 1: {
                const double now = getClock(engine_);
                scheduleClock(engine_, id, now + 0.001 * (random() % 20), now + 0.01 * (random() % 5 + 1));
                break;
            }
            case 2: unscheduleSound(engine_, id); break;
            case 3: setPosition(engine_, id, 0.001 * (random() % 20)); break;
            case 4:
                ASSERT_TRUE(pauseAudio(engine_));
                unpauseAudio(engine_);
                break;
            case 5: pauseGameAudio(engine_), unpauseGameAudio(engine_); break;
            case 6: {
                const double now = getClock(engine_);
                stopClock(engine_);
                startClockFrom(engine_, now);
                break;
            }
            case 7: tick(engine_), setSpeedOrPitch(engine_, id, VoiceParam::Speed, 2.0f); break;
            case 8: {
                // Every sound unloaded and freed while the game threads go on
                // calling with the old ids; no load may slip in between.
                loadsAllowed = false;
                while (loadsInFlight.load() != 0) std::this_thread::yield();
                const uint32_t first = engine_.sounds.firstSoundId();
                const uint32_t count = engine_.sounds.soundCount();
                for (uint32_t unloaded = first; unloaded < first + count; ++unloaded) unloadSound(engine_, unloaded);
                ASSERT_TRUE(pauseAudio(engine_));
                ASSERT_EQ(engine_.sounds.soundCount(), 0u) << "unloaded records were not freed";
                ++releases;
                unpauseAudio(engine_);
                loadSet();
                loadsAllowed = true;
                break;
            }
        }
    }
    done = true;
    for (std::thread& thread : games) thread.join();
    const std::chrono::duration<double> ran = std::chrono::steady_clock::now() - began;
    std::printf("%d game threads: %lld calls in %.1f s, %d frees of every sound\n", kGameThreads,
                static_cast<long long>(gameCalls.load()), ran.count(), releases);

    // With the game quiet, every sound left settles: a loaded one has no
    // event left once unscheduled, and any voice lies within its sound. An
    // unloaded one is silent for good; the events it held when a game
    // thread unloaded it never fire and go with the record.
    for (uint32_t id = engine_.sounds.firstSoundId(); id < engine_.sounds.firstSoundId() + engine_.sounds.soundCount();
         ++id) {
        if (engine_.sounds.lookupSound(id) != nullptr) unscheduleSound(engine_, id);
    }
    awaitPeriods(3);
    ASSERT_TRUE(pauseAudio(engine_));
    for (uint32_t slot = 0; slot < engine_.sounds.soundCount(); ++slot) {
        const SoundRecord& record = *engine_.sounds.slot(slot);
        if (record.unloaded.load()) {
            EXPECT_EQ(record.playPos.load(), nullptr) << slot;
            continue;
        }
        EXPECT_EQ(record.activeHead.load(), kNoEvent) << slot;
        EXPECT_EQ(record.pendingHead.load(), kNoEvent) << slot;
        const float* position = record.playPos.load();
        if (position != nullptr) {
            EXPECT_GE(position, record.data.load()) << slot;
            EXPECT_LE(position, record.data.load() + record.sampleCount.load()) << slot;
        }
    }
    unpauseAudio(engine_);
}

// Short periods, so the main thread's calls land between the audio
// thread's take-over of requests and its swap of the queues as often as
// possible.
class ShortPeriodConcurrencyTest : public ConcurrencyTest {
protected:
    ShortPeriodConcurrencyTest() : ConcurrencyTest(64) {}
};

// No unschedule is ever lost: once it returns and two periods have passed,
// both queues of the sound are empty.
TEST_F(ShortPeriodConcurrencyTest, UnscheduleIsNeverLostAgainstTheQueueSwap) {
    const int32_t id = loadRamp(100);
    const SoundRecord& record = *engine_.sounds.lookupSound(id);
    startClockFrom(engine_, 0.0);
    for (int attempt = 0; attempt < 3000; ++attempt) {
        scheduleClock(engine_, id, getClock(engine_) + 1000.0, std::numeric_limits<double>::infinity());
        unscheduleSound(engine_, id);
        awaitPeriods(2);
        ASSERT_EQ(record.activeHead.load(), kNoEvent) << "attempt " << attempt;
        ASSERT_EQ(record.pendingHead.load(), kNoEvent) << "attempt " << attempt;
    }
}

// The rules of the hand-off with real threads, checked after every step:
// a sound that is unscheduled or unloaded before its start never sounds,
// and a start that fires is exact to the frame. (The audio thread renders
// in a tight loop, far faster than real time.)
TEST_F(ShortPeriodConcurrencyTest, StartsAreExactAndNothingWithdrawnEverSounds) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const int32_t filler = loadRamp(100);  // keeps every round's record in the table
    startClockFrom(engine_, 0.0);
    std::mt19937 random(3);
    int withdrawnInTime = 0;
    for (int round = 0; round < 300; ++round) {
        const int32_t id = loadRamp(48000);
        setLoop(engine_, id, true);  // still playing, in phase, however far the clock has run
        const SoundRecord& record = *engine_.sounds.slot(static_cast<uint32_t>(id) - engine_.sounds.firstSoundId());
        // Far enough ahead that a withdrawal through a new thread is still in
        // time against a render loop running far faster than real time.
        const int64_t start = engine_.clock.clockFrame.load() + 24000 + static_cast<int64_t>(random() % 256);
        scheduleClock(engine_, id, at(start), kInf);
        const uint32_t withdrawal = random() % 3;  // 0 unschedule, 1 unload on a game thread, 2 none
        if (withdrawal == 0) unscheduleSound(engine_, id);
        if (withdrawal == 1) std::thread([&] { unloadSound(engine_, id); }).join();
        // Only a render that began after the withdrawal returned must honour
        // it; the one in progress then ends at most one period later.
        const bool inTime = engine_.clock.clockFrame.load() + 64 <= start;
        awaitClockPastAndAFreshRender(start + 2 * 64);
        if (withdrawal != 2) {
            if (inTime) {
                ++withdrawnInTime;
                ASSERT_EQ(record.playPos.load(), nullptr) << "round " << round << ": a withdrawn start sounded";
            }
        } else {
            ASSERT_TRUE(pauseAudio(engine_));  // voice and clock hold still
            const int64_t position = (record.playPos.load() - record.data.load()) / 2;
            EXPECT_EQ(position, (engine_.clock.clockFrame.load() - start) % 48000) << "round " << round;
            unpauseAudio(engine_);
        }
        if (withdrawal != 1) {
            EXPECT_EQ(record.activeHead.load(), kNoEvent) << "round " << round;
            EXPECT_EQ(record.pendingHead.load(), kNoEvent) << "round " << round;
            unloadSound(engine_, id);
        }
    }
    EXPECT_GT(withdrawnInTime, 100);  // the check above really ran
    unloadSound(engine_, filler);
    ASSERT_TRUE(pauseAudio(engine_));
    EXPECT_EQ(engine_.sounds.soundCount(), 0u);
    unpauseAudio(engine_);
}

}  // namespace
}  // namespace cl::test
