#include <gtest/gtest.h>

#include <thread>

#include "fakes/engine_fixture.h"
#include "sound/loading.h"

namespace cl::test {
namespace {

using AudioInitTest = EngineTest;

ProviderInitArgs rate(uint32_t frameRate) { return ProviderInitArgs{.frameRate = frameRate}; }

int32_t loadStereo(Engine& engine, uint32_t frames = 4) {
    std::vector<float> samples(frames * 2, 0.5f);
    return loadFloat(engine, samples.data(), frames * 2, 2, 48000, 0, 1.0f, 0.0f, false, nullptr);
}

TEST_F(AudioInitTest, NullProviderSetsSixteenBitStereoAndLeavesOutPointers) {
    engine_.buses.musicVolume.target = 0.25f;
    float exclusiveMs = 7.0f, sharedMs = 8.0f;
    ProviderInitArgs args = rate(44100);
    args.exclusiveDefaultMs = &exclusiveMs;
    args.sharedDefaultMs = &sharedMs;
    ASSERT_TRUE(initAudio(engine_, 1, args));
    EXPECT_EQ(engine_.output.outputFormat.load(), SampleFormat::Pcm16);
    EXPECT_EQ(engine_.output.frameRate(), 44100u);
    EXPECT_EQ(engine_.output.outputChannels.load(), 2u);
    EXPECT_EQ(exclusiveMs, 7.0f);
    EXPECT_EQ(sharedMs, 8.0f);
    EXPECT_EQ(engine_.buses.musicVolume.target.load(), 1.0f);
    EXPECT_TRUE(engine_.isMainThread());
    EXPECT_FALSE(audioNeedsReinit(engine_));
}

TEST_F(AudioInitTest, RefusalsInTheirOrder) {
    EXPECT_FALSE(initAudio(engine_, 1, rate(0)));
    EXPECT_TRUE(logged("Frame rate must be non-zero (got 0)"));
    EXPECT_TRUE(logged("Failed to initialise audio"));

#ifndef _WIN32
    // Provider 0 means 2, which has no device outside Windows (Windows opens
    // it for real: the Wine tests).
    log_.clear();
    EXPECT_FALSE(initAudio(engine_, 0, rate(48000)));
    EXPECT_TRUE(logged("WASAPI output is not available in this build"));
    EXPECT_TRUE(logged("Failed to initialise audio"));
    EXPECT_EQ(engine_.audio.currentProviderId.load(), kWasapiProvider);
#endif

    log_.clear();
    ProviderInitArgs negative = rate(48000);
    negative.bufferMs = -1.0f;
    EXPECT_FALSE(initAudio(engine_, kFakeProvider, negative));
    EXPECT_TRUE(logged("Requested buffer size must be positive (or 0 for default)"));
    EXPECT_EQ(engine_.audio.currentProviderId.load(), kFakeProvider);  // found before the check
    EXPECT_FALSE(engine_.audio.audioInitialised.load());
}

TEST_F(AudioInitTest, UnknownProviderKeepsTheCurrentOne) {
    openFake();
    freeAudio(engine_);
    fake_->needsReinit = true;
    EXPECT_FALSE(initAudio(engine_, 3, rate(48000)));
    EXPECT_TRUE(logged("Requested audio provider is not available on this platform"));
    EXPECT_TRUE(audioNeedsReinit(engine_));  // still asks the fake
}

TEST_F(AudioInitTest, SecondInitRefusesAndKeepsTheMainThread) {
    openFake();
    std::thread([&] { EXPECT_FALSE(initAudio(engine_, 1, rate(48000))); }).join();
    EXPECT_TRUE(logged("Audio already initialised"));
    EXPECT_TRUE(engine_.isMainThread());
}

TEST_F(AudioInitTest, MainThreadRule) {
    freeAudio(engine_);  // no main thread before initaudio
    EXPECT_TRUE(logged("FreeAudio must be called from the main thread"));
    EXPECT_FALSE(audioNeedsReinit(engine_));
    EXPECT_TRUE(logged("AudioNeedsReinit must be called from the main thread"));

    EXPECT_FALSE(initAudio(engine_, 1, rate(0)));  // a failed init still names the main thread
    log_.clear();
    freeAudio(engine_);
    EXPECT_TRUE(logged("Audio not initialised"));

    openFake();
    std::thread([&] { freeAudio(engine_); }).join();
    EXPECT_EQ(fake_->shutdownCalls, 0);
    freeAudio(engine_);
    EXPECT_EQ(fake_->shutdownCalls, 1);
    EXPECT_FALSE(engine_.audio.audioInitialised.load());
}

TEST_F(AudioInitTest, FreeAudioReleasesOnlyWhenEverySoundIsUnloaded) {
    openFake();
    const int32_t kept = loadStereo(engine_);
    freeAudio(engine_);
    EXPECT_NE(engine_.sounds.lookupSound(kept), nullptr);  // still loaded, same id

    openFake();
    unloadSound(engine_, kept);  // audio runs: nothing is freed yet
    EXPECT_EQ(engine_.sounds.soundCount(), 1u);
    freeAudio(engine_);
    EXPECT_EQ(engine_.sounds.soundCount(), 0u);
    EXPECT_EQ(loadStereo(engine_), kept + 1);
}

TEST_F(AudioInitTest, BuildStringAndDeviceListingRefuseNullCallbacks) {
    static int calls;
    static std::string received;
    calls = 0;
    auto callback = [](const char* text) -> intptr_t {
        ++calls;
        received = text;
        return 0x1234;
    };
    EXPECT_EQ(getBuildString(engine_, callback), 0x1234);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(received, "Cantrelle Engine 0.35 (19d5a091) compiled for Windows x86_64");
    EXPECT_EQ(getBuildString(engine_, nullptr), 0);
    EXPECT_TRUE(logged("Failed to get build string (callback is null)"));

    static int devices;
    devices = 0;
    enumAudioDevices(engine_, [](int32_t, const char*, const char*) { ++devices; });
#ifndef _WIN32
    EXPECT_EQ(devices, 0);  // no WASAPI outside Windows
#endif
    enumAudioDevices(engine_, nullptr);
    EXPECT_TRUE(logged("Failed to enumerate audio devices (callback is null)"));
    EXPECT_FALSE(logged("Failed to enumerate audio devices for provider: 2"));
}

}  // namespace
}  // namespace cl::test
