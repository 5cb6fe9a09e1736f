// Opening the audio client: the period and buffer arithmetic, the two ways
// to open, the retries and the locked engine period.
#include <gmock/gmock.h>

#include <limits>

#include "audio/client_open.h"
#include "fakes/wasapi_fixture.h"

namespace cl::test {
namespace {

const platform::EnginePeriods kEngine{480, 48, 48, 480};  // default, fundamental, minimum, maximum

TEST(ClientOpenArithmetic, WorkedExamples) {
    EXPECT_EQ(exclusiveDefaultDuration(30000, 1), 35000);
    EXPECT_EQ(exclusiveDefaultDuration(30000, 2), 45000);
    EXPECT_EQ(durationFrames(48000, 35000), 168u);
    EXPECT_EQ(classicBufferDuration(2.5f, true, 35000, 100000), 25000);
    EXPECT_EQ(classicBufferDuration(0.0f, true, 35000, 100000), 35000);
    EXPECT_EQ(classicBufferDuration(0.0f, false, 35000, 100000), 100000);

    EXPECT_EQ(requestedEnginePeriod(48000, 5.0f, kEngine, false), 240u);
    EXPECT_EQ(requestedEnginePeriod(48000, 0.5f, kEngine, false), 48u);
    EXPECT_EQ(requestedEnginePeriod(48000, 20.0f, kEngine, false), 480u);
    EXPECT_EQ(requestedEnginePeriod(48000, 20.0f, kEngine, true), 960u);
    EXPECT_EQ(requestedEnginePeriod(48000, 0.0f, kEngine, true), 48u);
    EXPECT_EQ(requestedEnginePeriod(48000, 1.03f, kEngine, false), 96u);  // 49 frames: up to two periods
}

TEST(ClientOpenArithmetic, ExtremeRequestsStayDefined) {
    EXPECT_EQ(requestedEnginePeriod(48000, 1e30f, kEngine, false), 480u);
    EXPECT_EQ(requestedEnginePeriod(48000, 5.0f, platform::EnginePeriods{480, 0, 48, 480}, false), 240u);
    EXPECT_EQ(classicBufferDuration(1e30f, true, 0, 0), INT32_MAX);
    EXPECT_EQ(classicBufferDuration(std::numeric_limits<float>::quiet_NaN(), false, 0, 7), 0);
}

class ClientOpenTest : public WasapiTest {
protected:
    bool open(bool exclusive, float bufferMs = 0.0f, bool strict = false) {
        ProviderInitArgs args;
        args.exclusive = exclusive;
        args.bufferMs = bufferMs;
        args.strictBufferSize = strict;
        args.exclusiveDefaultMs = &exclusiveMs_;
        args.sharedDefaultMs = &sharedMs_;
        return init(args);
    }
    std::vector<std::string> warnings(const std::string& kind) {
        std::vector<std::string> lines;
        for (int wait = 0; wait < 10; ++wait) {
            lines.push_back("Attempting to open client returned " + kind + "; waiting " + std::to_string(wait) +
                            "ms and retrying");
        }
        return lines;
    }
    size_t countStartingWith(const std::string& prefix) {
        size_t n = 0;
        for (const std::string& line : log_.lines()) n += LogCapture::body(line).rfind(prefix, 0) == 0;
        return n;
    }
    float exclusiveMs_ = 0, sharedMs_ = 0;
};

TEST_F(ClientOpenTest, ExclusiveDefaultIsTheMinimumPeriodPlusHalfAMillisecond) {
    ASSERT_TRUE(open(true));
    EXPECT_EQ(fake_.count("Initialize(exclusive, 35000)"), 1u);
    EXPECT_EQ(exclusiveMs_, 3.5f);
    EXPECT_EQ(sharedMs_, 10.0f);  // the device's default period
    EXPECT_EQ(provider_->state().fillTarget, 1920u);
    EXPECT_EQ(fake_.count("GetSharedModeEnginePeriod"), 0u);
    freeAudio(engine_);

    ASSERT_TRUE(open(true, 0.0f, true));
    EXPECT_EQ(provider_->state().fillTarget, 168u);
    freeAudio(engine_);

    fake_.timerPeriodMin = 2;
    ASSERT_TRUE(open(true));
    EXPECT_EQ(fake_.count("Initialize(exclusive, 45000)"), 1u);
    EXPECT_EQ(exclusiveMs_, 4.5f);
    EXPECT_EQ(fake_.count("timeSetEvent(2)"), 1u);
}

TEST_F(ClientOpenTest, StrictTargetNeverExceedsTheBuffer) {
    fake_.bufferFrames = 100;
    ASSERT_TRUE(open(true, 2.5f, true));
    EXPECT_EQ(fake_.count("Initialize(exclusive, 25000)"), 1u);
    EXPECT_EQ(provider_->state().fillTarget, 100u);  // 120 frames asked, 100 in the buffer
}

TEST_F(ClientOpenTest, LowLatencySharedOpensAtTheRequestedEnginePeriod) {
    ASSERT_TRUE(open(false, 5.0f, true));
    EXPECT_EQ(fake_.count("InitializeSharedAudioStream(240)"), 1u);
    EXPECT_EQ(provider_->state().fillTarget, 240u);
    EXPECT_EQ(sharedMs_, 1.0f);
    EXPECT_EQ(fake_.count("Initialize(shared, 100000)"), 0u);
}

TEST_F(ClientOpenTest, ClassicSharedWithoutClient3UsesTheDefaultPeriod) {
    fake_.offersClient3 = false;
    ASSERT_TRUE(open(false));
    EXPECT_EQ(fake_.count("Initialize(shared, 100000)"), 1u);
    EXPECT_FALSE(logged("Using low latency shared mode"));
    EXPECT_EQ(sharedMs_, 10.0f);
}

TEST_F(ClientOpenTest, EnginePeriodNotImplementedFallsBackToClassicShared) {
    fake_.failAlways("GetSharedModeEnginePeriod", platform::kNotImplemented);
    ASSERT_TRUE(open(false));
    EXPECT_TRUE(logged("Using low latency shared mode"));
    EXPECT_TRUE(logged("Low latency shared mode is not implemented; using classic shared mode"));
    EXPECT_EQ(fake_.count("Initialize(shared, 100000)"), 1u);
    EXPECT_EQ(fake_.count("InitializeSharedAudioStream(48)"), 0u);
    EXPECT_EQ(sharedMs_, 10.0f);
    EXPECT_FALSE(logged(check(1073, 0x80004001)));
}

TEST_F(ClientOpenTest, DeviceInUseIsRetriedTenTimesInExclusiveModeOnly) {
    fake_.failAlways("Initialize", platform::kDeviceInUse);
    EXPECT_FALSE(open(true));
    std::vector<std::string> expected = warnings("0x8889000a (device in use)");
    for (const std::string& line : expected) EXPECT_EQ(log_.count(line), 1u) << line;
    EXPECT_EQ(countStartingWith("Attempting to open client"), 10u);
    EXPECT_EQ(fake_.count("Initialize(exclusive, 35000)"), 10u);
    for (int ms = 1; ms <= 9; ++ms) EXPECT_EQ(fake_.count("Sleep(" + std::to_string(ms) + ")"), 1u) << ms;
    EXPECT_EQ(fake_.count("Sleep(0)"), 0u);
    EXPECT_TRUE(logged(check(1057, 0x8889000a)));

    log_.clear();
    fake_.clearCalls();
    fake_.offersClient3 = false;
    EXPECT_FALSE(open(false));
    EXPECT_EQ(fake_.count("Initialize(shared, 100000)"), 1u);
    EXPECT_EQ(countStartingWith("Attempting to open client"), 0u);
    EXPECT_TRUE(logged(check(1057, 0x8889000a)));
}

TEST_F(ClientOpenTest, ABriefBusySpellStillOpens) {
    fake_.script("Initialize", {platform::kDeviceInUse, platform::kDeviceInUse, platform::kOk});
    ASSERT_TRUE(open(true));
    EXPECT_EQ(countStartingWith("Attempting to open client"), 2u);
    EXPECT_EQ(fake_.count("Sleep(1)"), 1u);
}

TEST_F(ClientOpenTest, IoErrorIsRetriedTenTimesOnTheSharedStream) {
    fake_.failAlways("InitializeSharedAudioStream", platform::kIoDeviceError);
    EXPECT_FALSE(open(false));
    for (const std::string& line : warnings("0x8007045d (I/O device error)")) EXPECT_EQ(log_.count(line), 1u) << line;
    EXPECT_EQ(fake_.count("InitializeSharedAudioStream(48)"), 10u);
    EXPECT_TRUE(logged(check(1153, 0x8007045d)));
}

TEST_F(ClientOpenTest, LockedEnginePeriodRetriesOnceAtTheCurrentPeriod) {
    fake_.script("InitializeSharedAudioStream", {platform::kEnginePeriodicityLocked});
    ASSERT_TRUE(open(false, 0.0f, true));  // strict, but nothing was asked for
    EXPECT_TRUE(logged("Another program has locked the engine period"));
    EXPECT_TRUE(logged("Retrying with current period"));
    EXPECT_TRUE(logged("Current period is 144 frames"));
    EXPECT_EQ(fake_.count("InitializeSharedAudioStream(144)"), 1u);
    EXPECT_EQ(provider_->state().fillTarget, 144u);
    freeAudio(engine_);

    // The second open has no retry of its own.
    log_.clear();
    fake_.script("InitializeSharedAudioStream", {platform::kEnginePeriodicityLocked, platform::kIoDeviceError});
    EXPECT_FALSE(open(false));
    EXPECT_EQ(countStartingWith("Attempting to open client"), 0u);
    EXPECT_TRUE(logged(check(1153, 0x8007045d)));

    log_.clear();
    fake_.script("InitializeSharedAudioStream", {platform::kEnginePeriodicityLocked});
    fake_.script("GetCurrentSharedModeEnginePeriod", {platform::kFail});
    EXPECT_FALSE(open(false));
    EXPECT_TRUE(logged(check(1142, 0x80004005)));
}

TEST_F(ClientOpenTest, LockedEnginePeriodFailsWhenTheGameInsisted) {
    fake_.script("InitializeSharedAudioStream", {platform::kEnginePeriodicityLocked});
    EXPECT_FALSE(open(false, 5.0f, true));
    EXPECT_TRUE(logged("Another program has locked the engine period"));
    EXPECT_FALSE(logged("Retrying with current period"));
    EXPECT_TRUE(logged(check(1153, 0x88890028)));
    EXPECT_EQ(fake_.liveObjects(), 0);
}

}  // namespace
}  // namespace cl::test
