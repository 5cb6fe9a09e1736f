// The voice-major render against the frame-major oracle: over randomised
// scenarios, after every call, every output byte, every voice's state, the
// bus volumes, the limiter, the meters and the clock must be equal to the
// bit, on each path of the mixing kernel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "clock/clock.h"
#include "engine/audio_init.h"
#include "fakes/fake_provider.h"
#include "fakes/scripted_seam.h"
#include "mixer/limiter_controls.h"
#include "mixer/mix_kernel.h"
#include "mixer/render_block.h"
#include "mixer/voice_params.h"
#include "oracle/frame_major_render.h"
#include "sound/loading.h"
#include "sound/playback.h"
#include "sound/scheduling.h"

namespace cl::test {
namespace {

constexpr int32_t kFake = 9;
constexpr double kInf = std::numeric_limits<double>::infinity();

void discard(const char*) {}

uint32_t bits(float value) {
    uint32_t b;
    std::memcpy(&b, &value, sizeof b);
    return b;
}

// An engine opened through the fake provider with the scenario's format.
std::unique_ptr<Engine> openEngine(SampleFormat format, uint32_t channels) {
    ProviderRegistry registry = defaultProviderRegistry();
    auto fake = std::make_unique<FakeProvider>();
    fake->format = format;
    fake->channels = channels;
    registry.add(kFake, std::move(fake));
    auto engine = std::make_unique<Engine>(std::move(registry), discard);
    EXPECT_TRUE(initAudio(*engine, kFake, ProviderInitArgs{.frameRate = 48000}));
    return engine;
}

// Everything a render call may change, as bits, so NaN and -0 compare too.
std::vector<int64_t> stateOf(Engine& engine) {
    std::vector<int64_t> state;
    const uint32_t count = engine.sounds.soundCount();
    for (uint32_t i = 0; i < count; ++i) {
        const SoundRecord& r = *engine.sounds.slot(i);
        const float* data = r.data.load();
        const float* pos = r.playPos.load();
        const float* end = r.playEnd.load();
        state.insert(state.end(), {pos ? pos - data : -1, end ? end - data : -1, bits(r.currentLeft.load()),
                                   bits(r.currentRight.load()), static_cast<int64_t>(r.framesUntilStop),
                                   r.activeHead.load(), r.pendingHead.load(), r.playRequested.load(),
                                   r.stopRequested.load(), r.unscheduleRequested.load(),
                                   static_cast<int64_t>(bits(static_cast<float>(r.playFromSeconds.load())))});
    }
    const BusVolumes& b = engine.buses;
    for (const SmoothedLevel* level : {&b.globalVolume, &b.musicVolume, &b.sfxVolume, &b.menuVolume}) {
        state.push_back(bits(level->current.load()));
    }
    const Limiter& l = engine.limiter;
    state.insert(state.end(),
                 {bits(l.limiterGain), l.limiterReleaseLeft, bits(l.limiterLevel.load()), bits(l.limiterMinGain.load()),
                  bits(l.maxSample.load()), engine.clock.clockFrame.load()});
    return state;
}

// One random scenario, played on two engines at once: the same loads and
// calls, one rendered by the library, one by the oracle.
class Scenario {
public:
    explicit Scenario(uint32_t seed) : random_(seed) {
        static constexpr SampleFormat kFormats[] = {SampleFormat::Pcm8,        SampleFormat::Pcm16,
                                                    SampleFormat::Pcm24Padded, SampleFormat::Pcm24Tight,
                                                    SampleFormat::Pcm32,       SampleFormat::Float32};
        static constexpr uint32_t kChannels[] = {1, 2, 2, 2, 3, 6};
        format_ = kFormats[pick(6)];
        channels_ = kChannels[pick(6)];
        library_ = openEngine(format_, channels_);
        oracle_ = openEngine(format_, channels_);
        const uint32_t sounds = 1 + pick(12);
        for (uint32_t i = 0; i < sounds; ++i) load();
        both([](Engine& e) { startClockFrom(e, 0.0); });
    }

    // A few game calls, then one render call on each engine; compares all.
    void step(int call) {
        const uint32_t calls = pick(4);
        for (uint32_t i = 0; i < calls; ++i) gameCall();
        const uint32_t frames = 1 + pick(700);
        const uint32_t frameBytes = channels_ * bytesPerSample(format_);
        std::vector<uint8_t> libraryOut(700 * frameBytes, 0xEE), oracleOut(700 * frameBytes, 0xEE);
        uint8_t *libraryNext = nullptr, *oracleNext = nullptr;
        uint32_t libraryDone = 0, oracleDone = 0;
        RenderResult libraryResult, oracleResult;
        if (pick(8) == 0) {
            // A start event added while the block renders, once its sounds are listed.
            const uint32_t id = pick(soundCount());
            const double start = seconds(clock() + pick(600));
            const SeamScript add([&](HandoffPoint point) {
                if (point == HandoffPoint::BlockListed) scheduleClock(*current_, id, start, kInf);
            });
            current_ = library_.get();
            libraryResult =
                renderBufferWith<ScriptedSeam>(*library_, libraryOut.data(), frames, &libraryNext, &libraryDone);
            current_ = oracle_.get();
            oracleResult =
                oracleRenderBufferWith<ScriptedSeam>(*oracle_, oracleOut.data(), frames, &oracleNext, &oracleDone);
        } else {
            libraryResult = renderBuffer(*library_, libraryOut.data(), frames, &libraryNext, &libraryDone);
            oracleResult = oracleRenderBuffer(*oracle_, oracleOut.data(), frames, &oracleNext, &oracleDone);
        }
        const std::string where = "call " + std::to_string(call) + ", " + std::to_string(frames) + " frames, format " +
                                  std::to_string(static_cast<int>(format_)) + " x" + std::to_string(channels_);
        ASSERT_EQ(libraryResult, oracleResult) << where;
        ASSERT_EQ(libraryDone, oracleDone) << where;
        if (libraryResult == RenderResult::Rendered) {
            ASSERT_EQ(libraryNext - libraryOut.data(), oracleNext - oracleOut.data()) << where;
        }
        const auto differ = std::mismatch(libraryOut.begin(), libraryOut.end(), oracleOut.begin());
        ASSERT_TRUE(differ.first == libraryOut.end())
            << where << ": first difference at byte " << (differ.first - libraryOut.begin()) << " of "
            << libraryDone * frameBytes;
        const std::vector<int64_t> libraryState = stateOf(*library_), oracleState = stateOf(*oracle_);
        const auto stateDiffers = std::mismatch(libraryState.begin(), libraryState.end(), oracleState.begin());
        ASSERT_TRUE(stateDiffers.first == libraryState.end())
            << where << ": state item " << (stateDiffers.first - libraryState.begin()) << " is " << *stateDiffers.first
            << ", the oracle's " << *stateDiffers.second;
    }

private:
    uint32_t pick(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(random_() % n); }
    float uniform(float low, float high) { return std::uniform_real_distribution<float>(low, high)(random_); }
    uint32_t soundCount() const { return library_->sounds.soundCount(); }
    uint32_t anyId() { return library_->sounds.firstSoundId() + pick(soundCount() + 1); }  // sometimes none
    int64_t clock() const {  // a stopped clock counts as 0 here
        const int64_t frame = library_->clock.clockFrame.load();
        return frame == kClockStopped ? 0 : frame;
    }
    double seconds(int64_t frame) const { return (static_cast<double>(frame) + 0.5) / 48000.0; }

    template <class Call>
    void both(Call call) {
        call(*library_);
        call(*oracle_);
    }

    void load() {
        const uint32_t frames = 1 + pick(3000);
        std::vector<float> samples(2 * frames);
        const float loudness = pick(4) == 0 ? 4.0f : 0.6f;  // loud sounds drive the limiter
        for (float& s : samples) s = uniform(-loudness, loudness);
        const uint32_t bus = pick(4);
        both([&](Engine& e) {
            loadFloat(e, samples.data(), static_cast<uint32_t>(samples.size()), 2, 48000, bus, 1.0f, 0.0f, false,
                      nullptr);
        });
    }

    void gameCall() {
        const uint32_t id = anyId();
        const uint32_t which = pick(16);
        if (std::getenv("ORACLE_TRACE")) std::printf("call %u id %u clock %lld\n", which, id, (long long)clock());
        switch (which) {
            case 0:
            case 1: both([&, s = pick(2) ? 0.0 : seconds(pick(3500))](Engine& e) { playFrom(e, id, s); }); break;
            case 2: both([&](Engine& e) { stopSound(e, id); }); break;
            case 3: both([&, on = pick(2) == 0](Engine& e) { setLoop(e, id, on); }); break;
            case 4: {
                const auto param = static_cast<VoiceParam>(pick(4));
                const float value = param == VoiceParam::Gain ? uniform(-30.0f, 6.0f) : uniform(-1.2f, 1.2f);
                both([&](Engine& e) { setVoiceParam(e, id, param, value); });
                break;
            }
            case 5: {
                const auto bus = static_cast<Bus>(pick(4));
                const float volume = uniform(-0.2f, 1.2f);
                both([&](Engine& e) { setBusVolume(e, bus, volume); });
                break;
            }
            case 6:
            case 7:
            case 8: {
                const int64_t start = clock() - 200 + static_cast<int64_t>(pick(2000));
                const double stop = pick(3) == 0 ? kInf : seconds(start + pick(5000));
                both([&](Engine& e) { scheduleClock(e, id, seconds(start), stop); });
                break;
            }
            case 9: both([&](Engine& e) { unscheduleSound(e, id); }); break;
            case 10: both([on = pick(2) == 0](Engine& e) { on ? pauseGameAudio(e) : unpauseGameAudio(e); }); break;
            case 11: {
                const float threshold = uniform(-12.0f, 0.0f);
                const float release = pick(3) == 0 ? 0.0f : uniform(1.0f, 30.0f);  // 0: limiter off
                both([&](Engine& e) {
                    setLimiterThreshold(e, threshold);
                    setLimiterRelease(e, release);
                });
                break;
            }
            case 12:
                if (pick(4) == 0) {
                    both([](Engine& e) { stopClock(e); });
                } else {
                    both([s = seconds(clock())](Engine& e) { startClockFrom(e, s); });
                }
                break;
            case 13:
                if (pick(4) == 0) both([&](Engine& e) { unloadSound(e, id); });
                break;
            case 14:
                if (soundCount() < 40) load();
                break;
            case 15: both([](Engine& e) { takeMaxSample(e), takeLimiterScale(e); }); break;
        }
    }

    std::mt19937 random_;
    SampleFormat format_ = SampleFormat::Pcm16;
    uint32_t channels_ = 2;
    std::unique_ptr<Engine> library_;
    std::unique_ptr<Engine> oracle_;
    static inline Engine* current_ = nullptr;
};

class RenderOracleTest : public ::testing::TestWithParam<MixPath> {
protected:
    void SetUp() override {
        previous_ = activeMixPath();
        if (!useMixPath(GetParam())) GTEST_SKIP() << "this CPU lacks the path";
    }
    void TearDown() override { useMixPath(previous_); }
    MixPath previous_ = MixPath::Portable;
};

TEST_P(RenderOracleTest, EveryScenarioMatchesTheFrameByFrameRenderToTheBit) {
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Scenario scenario(seed);
        for (int call = 0; call < 40; ++call) {
            scenario.step(call);
            if (HasFatalFailure()) return;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, RenderOracleTest, ::testing::Values(MixPath::Portable, MixPath::Avx2),
                         [](const ::testing::TestParamInfo<MixPath>& info) {
                             return info.param == MixPath::Portable ? "Portable" : "Avx2";
                         });

}  // namespace
}  // namespace cl::test
