#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "fakes/mixer_fixture.h"
#include "fakes/sound_lock_holder.h"
#include "mixer/limiter_controls.h"
#include "mixer/voice_params.h"

namespace cl::test {
namespace {

using VoiceParamTest = MixerTest;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

const char* word(VoiceParam param) {
    switch (param) {
        case VoiceParam::Gain: return "gain";
        case VoiceParam::Volume: return "volume";
        case VoiceParam::Fade: return "fade";
        case VoiceParam::Pan: return "pan";
        case VoiceParam::Speed: return "speed";
        case VoiceParam::Semitones: return "semitones";
    }
    return "";
}

TEST_F(VoiceParamTest, GainIsStoredLinearAndReadInDecibels) {
    const int32_t id = loadConstant(10, 0.5f);
    const SoundRecord& record = *engine_.sounds.lookupSound(id);
    setVoiceParam(engine_, id, VoiceParam::Gain, -6.0206f);
    EXPECT_NEAR(record.gain.load(), 0.5f, 1e-6f);
    EXPECT_NEAR(getVoiceParam(engine_, id, VoiceParam::Gain), -6.0206f, 1e-4f);
    EXPECT_NEAR(record.targetLeft.load(), 0.5f, 1e-6f);  // the channel gains follow

    setVoiceParam(engine_, id, VoiceParam::Gain, 0.0f);
    EXPECT_EQ(record.gain.load(), 1.0f);
    EXPECT_EQ(getVoiceParam(engine_, id, VoiceParam::Gain), 0.0f);

    setVoiceParam(engine_, id, VoiceParam::Gain, 40.0f);  // no upper limit
    EXPECT_NEAR(record.gain.load(), 100.0f, 1e-4f);
    setVoiceParam(engine_, id, VoiceParam::Gain, -kInf);
    EXPECT_EQ(record.gain.load(), 0.0f);
    EXPECT_EQ(getVoiceParam(engine_, id, VoiceParam::Gain), -kInf);
}

TEST_F(VoiceParamTest, LinearLevelsAreClamped) {
    struct Case {
        VoiceParam param;
        float value, stored;
    } cases[] = {
        {VoiceParam::Volume, 1.5f, 1.0f}, {VoiceParam::Volume, -1.0f, 0.0f}, {VoiceParam::Volume, 0.3f, 0.3f},
        {VoiceParam::Volume, kInf, 1.0f}, {VoiceParam::Fade, 2.0f, 1.0f},    {VoiceParam::Fade, -0.5f, 0.0f},
        {VoiceParam::Fade, 0.7f, 0.7f},   {VoiceParam::Pan, -3.0f, -1.0f},   {VoiceParam::Pan, 3.0f, 1.0f},
        {VoiceParam::Pan, -kInf, -1.0f},  {VoiceParam::Pan, 0.25f, 0.25f},
    };
    const int32_t id = loadConstant(10, 0.5f);
    for (const Case& c : cases) {
        setVoiceParam(engine_, id, c.param, c.value);
        EXPECT_EQ(getVoiceParam(engine_, id, c.param), c.stored) << word(c.param) << " " << c.value;
    }
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(VoiceParamTest, NaNIsRefusedAndKeepsEveryValue) {
    const int32_t id = loadConstant(10, 0.5f);
    ASSERT_EQ(id, 0);
    const SoundRecord& record = *engine_.sounds.lookupSound(id);
    setVoiceParam(engine_, id, VoiceParam::Pan, 0.5f);
    const float left = record.targetLeft.load();
    for (VoiceParam param : {VoiceParam::Gain, VoiceParam::Volume, VoiceParam::Fade, VoiceParam::Pan}) {
        const float before = getVoiceParam(engine_, id, param);
        log_.clear();
        setVoiceParam(engine_, id, param, kNaN);
        EXPECT_TRUE(logged(std::string("Failed to set ") + word(param) + " for sound 0 (value cannot be NaN)"))
            << word(param);
        EXPECT_EQ(getVoiceParam(engine_, id, param), before) << word(param);
        EXPECT_EQ(record.targetLeft.load(), left) << word(param);
    }

    struct BusCase {
        Bus bus;
        const char* word;
    } buses[] = {{Bus::Global, "global"}, {Bus::Music, "music"}, {Bus::Sfx, "sfx"}, {Bus::Menu, "menu"}};
    for (const BusCase& b : buses) {
        setBusVolume(engine_, b.bus, 0.5f);
        log_.clear();
        setBusVolume(engine_, b.bus, kNaN);
        EXPECT_TRUE(logged(std::string("Failed to set ") + b.word + " volume (value cannot be NaN)")) << b.word;
        EXPECT_EQ(getBusVolume(engine_, b.bus), 0.5f) << b.word;
    }
}

TEST_F(VoiceParamTest, PanAttenuatesOnlyTheOppositeSide) {
    struct Case {
        float pan, volume, left, right;
    } cases[] = {
        {1.0f, 1.0f, 0.0f, 0.5f},   {-1.0f, 1.0f, 0.5f, 0.0f}, {0.25f, 1.0f, 0.375f, 0.5f},
        {-0.5f, 1.0f, 0.5f, 0.25f}, {0.0f, 1.0f, 0.5f, 0.5f},  {0.25f, 0.5f, 0.1875f, 0.25f},
    };
    for (const Case& c : cases) {
        const int32_t id = loadConstant(100, 0.5f);
        setVoiceParam(engine_, id, VoiceParam::Pan, c.pan);
        setVoiceParam(engine_, id, VoiceParam::Volume, c.volume);
        play(id);
        const std::vector<float> out = render(1);
        EXPECT_EQ(out[0], c.left) << "pan " << c.pan << " volume " << c.volume;
        EXPECT_EQ(out[1], c.right) << "pan " << c.pan << " volume " << c.volume;
        stopSound(engine_, id);
    }
}

TEST_F(VoiceParamTest, IdleSoundTakesANewLevelAtOnceAPlayingOneRamps) {
    const int32_t id = loadConstant(4000, 0.5f);
    setVoiceParam(engine_, id, VoiceParam::Fade, 0.0f);  // idle: no ramp
    play(id);
    EXPECT_EQ(renderLeft(1)[0], 0.0f);

    setVoiceParam(engine_, id, VoiceParam::Fade, 1.0f);             // playing: ramps
    EXPECT_EQ(getVoiceParam(engine_, id, VoiceParam::Fade), 1.0f);  // the getter reports the target
    const std::vector<float> out = renderLeft(802);
    EXPECT_GT(out[0], 0.0f);
    EXPECT_LT(out[0], 0.01f);
    EXPECT_GT(out[400], out[0]);
    EXPECT_LT(out[400], 0.5f);
    EXPECT_EQ(out[801], 0.5f);  // full level within 16.7 ms

    stopSound(engine_, id);
    render(1);
    setVoiceParam(engine_, id, VoiceParam::Volume, 0.5f);  // idle again: at once
    play(id);
    EXPECT_EQ(renderLeft(1)[0], 0.25f);
}

TEST_F(VoiceParamTest, BusVolumesClampAndReadBackTheTargetAtOnce) {
    struct Case {
        Bus bus;
        float value, stored;
    } cases[] = {
        {Bus::Music, 2.0f, 1.0f}, {Bus::Music, 0.4f, 0.4f},  {Bus::Sfx, -1.0f, 0.0f},
        {Bus::Menu, kInf, 1.0f},  {Bus::Global, 1.5f, 1.0f}, {Bus::Global, 0.0f, 0.0f},
    };
    for (const Case& c : cases) {
        setBusVolume(engine_, c.bus, c.value);
        EXPECT_EQ(getBusVolume(engine_, c.bus), c.stored) << static_cast<int>(c.bus) << " " << c.value;
    }

    // The audible level ramps: one frame after the change it has moved one step.
    engine_.buses.musicVolume.reset(1.0f);
    play(loadConstant(100, 0.5f, 1));
    engine_.buses.globalVolume.reset(1.0f);
    setBusVolume(engine_, Bus::Music, 0.0f);
    const std::vector<float> out = renderLeft(2);
    EXPECT_EQ(getBusVolume(engine_, Bus::Music), 0.0f);
    EXPECT_GT(out[1], 0.49f);
    EXPECT_LT(out[1], out[0]);
}

TEST_F(VoiceParamTest, SpeedAndPitchStayAsLoaded) {
    const float samples[200] = {};
    const int32_t id = loadFloat(engine_, samples, 200, 2, 48000, 0, 2.0f, 3.0f, false, nullptr);
    ASSERT_EQ(id, 0);
    log_.clear();
    setSpeedOrPitch(engine_, id, VoiceParam::Speed, 1.0f);
    setSpeedOrPitch(engine_, id, VoiceParam::Semitones, 0.0f);
    EXPECT_TRUE(logged("Failed to set speed for sound 0 (sound does not allow runtime speed updates)"));
    EXPECT_TRUE(logged("Failed to set semitones for sound 0 (sound does not allow runtime speed updates)"));
    EXPECT_EQ(getVoiceParam(engine_, id, VoiceParam::Speed), 2.0f);
    EXPECT_EQ(getVoiceParam(engine_, id, VoiceParam::Semitones), 3.0f);

    log_.clear();
    std::thread([&] {
        setSpeedOrPitch(engine_, id, VoiceParam::Speed, 1.0f);
        setSpeedOrPitch(engine_, id, VoiceParam::Semitones, 0.0f);
    }).join();
    EXPECT_TRUE(logged("SetSpeed must be called from the main thread"));
    EXPECT_TRUE(logged("SetSemitones must be called from the main thread"));
    EXPECT_EQ(log_.lines().size(), 2u);  // nothing said about the sound itself
}

TEST_F(VoiceParamTest, LoopFlagRoundTrips) {
    const int32_t id = loadConstant(10, 0.5f);
    EXPECT_FALSE(getLoop(engine_, id));
    setLoop(engine_, id, true);
    EXPECT_TRUE(getLoop(engine_, id));
    EXPECT_EQ(engine_.sounds.lookupSound(id)->loop.load(), 1);
    setLoop(engine_, id, false);
    EXPECT_FALSE(getLoop(engine_, id));
}

// Every per-sound call that takes the shared lock, as (action words, call);
// results widened to double so one table holds setters and getters.
struct ParamCall {
    std::string action;
    std::function<double(Engine&, uint32_t)> call;
};

std::vector<ParamCall> lockedParamCalls() {
    std::vector<ParamCall> calls;
    for (VoiceParam p : {VoiceParam::Gain, VoiceParam::Volume, VoiceParam::Fade, VoiceParam::Pan}) {
        calls.push_back({std::string("set ") + word(p) + " for", [p](Engine& e, uint32_t id) {
                             setVoiceParam(e, id, p, 0.5f);
                             return 0.0;
                         }});
    }
    for (VoiceParam p : {VoiceParam::Gain, VoiceParam::Volume, VoiceParam::Fade, VoiceParam::Pan, VoiceParam::Speed,
                         VoiceParam::Semitones}) {
        calls.push_back({std::string("get ") + word(p) + " for",
                         [p](Engine& e, uint32_t id) { return static_cast<double>(getVoiceParam(e, id, p)); }});
    }
    calls.push_back({"set loop status for", [](Engine& e, uint32_t id) {
                         setLoop(e, id, true);
                         return 0.0;
                     }});
    calls.push_back({"get loop status for", [](Engine& e, uint32_t id) { return getLoop(e, id) ? 1.0 : 0.0; }});
    return calls;
}

TEST_F(VoiceParamTest, AbsentSoundsAreRefusedWithNeutralResults) {
    const int32_t unloaded = loadConstant(10, 0.5f);
    unloadSound(engine_, unloaded);
    std::vector<ParamCall> calls = lockedParamCalls();
    for (VoiceParam p : {VoiceParam::Speed, VoiceParam::Semitones}) {
        calls.push_back({std::string("set ") + word(p) + " for", [p](Engine& e, uint32_t id) {
                             setSpeedOrPitch(e, id, p, 1.0f);
                             return 0.0;
                         }});
    }
    for (uint32_t id : {static_cast<uint32_t>(unloaded), 99u}) {
        for (const ParamCall& c : calls) {
            log_.clear();
            EXPECT_EQ(c.call(engine_, id), 0.0) << c.action;
            const std::string message =
                "Failed to " + c.action + " sound " + std::to_string(id) + " (sound does not exist)";
            EXPECT_TRUE(logged(message)) << message;
            EXPECT_EQ(log_.lines().size(), 1u) << message;
        }
    }
}

TEST_F(VoiceParamTest, LockedTableRefusesWithoutTouchingTheSound) {
    const int32_t id = loadConstant(10, 0.5f);
    ASSERT_EQ(id, 0);
    const SoundRecord& record = *engine_.sounds.lookupSound(id);
    {
        SoundLockHolder hold(engine_.sounds);
        for (const ParamCall& c : lockedParamCalls()) {
            log_.clear();
            EXPECT_EQ(c.call(engine_, id), 0.0) << c.action;
            EXPECT_TRUE(logged("Failed to " + c.action + " sound 0 (sound is locked)")) << c.action;
        }
    }
    EXPECT_EQ(record.gain.load(), 1.0f);
    EXPECT_EQ(record.volume.load(), 1.0f);
    EXPECT_EQ(record.fade.load(), 1.0f);
    EXPECT_EQ(record.pan.load(), 0.0f);
    EXPECT_EQ(record.loop.load(), 0);
}

// Only the setters of the limiter; its effect on the signal is tested with
// the limiter itself.
using VoiceParamLimiterTest = EngineTest;

TEST_F(VoiceParamLimiterTest, SettersClampAndRefuseNaN) {
    struct Case {
        float decibels, storedDb, linear;
    } thresholds[] = {{3.0f, 0.0f, 1.0f}, {-6.0206f, -6.0206f, 0.5f}, {-kInf, -kInf, 0.0f}, {kInf, 0.0f, 1.0f}};
    Limiter& limiter = engine_.limiter;
    for (const Case& c : thresholds) {
        setLimiterThreshold(engine_, c.decibels);
        EXPECT_EQ(limiter.limiterThresholdDb.load(), c.storedDb) << c.decibels;
        EXPECT_NEAR(limiter.limiterThreshold.load(), c.linear, 1e-6f) << c.decibels;
        EXPECT_EQ(limiter.limiterLevel.load(), limiter.limiterThreshold.load()) << c.decibels;
    }
    struct Release {
        float ms, stored;
    } releases[] = {{-5.0f, 0.0f}, {250.0f, 250.0f}, {-kInf, 0.0f}};
    for (const Release& r : releases) {
        setLimiterRelease(engine_, r.ms);
        EXPECT_EQ(limiter.limiterReleaseMs.load(), r.stored) << r.ms;
    }
    EXPECT_TRUE(log_.lines().empty());

    setLimiterThreshold(engine_, -6.0f);
    setLimiterRelease(engine_, 100.0f);
    const float threshold = limiter.limiterThreshold.load();
    setLimiterThreshold(engine_, kNaN);
    setLimiterRelease(engine_, kNaN);
    EXPECT_TRUE(logged("Failed to set limiter threshold (value cannot be NaN)"));
    EXPECT_TRUE(logged("Failed to set limiter release (value cannot be NaN)"));
    EXPECT_EQ(limiter.limiterThresholdDb.load(), -6.0f);
    EXPECT_EQ(limiter.limiterThreshold.load(), threshold);
    EXPECT_EQ(limiter.limiterLevel.load(), threshold);
    EXPECT_EQ(limiter.limiterReleaseMs.load(), 100.0f);
}

}  // namespace
}  // namespace cl::test
