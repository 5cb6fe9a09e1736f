// The WASAPI output's Init and Shutdown against the scripted device: the
// order of the calls, what a failure at each step leaves behind, the device
// list and the device-change client.
#include <gmock/gmock.h>

#include <algorithm>
#include <string>
#include <vector>

#include "clock/render_handshake.h"
#include "fakes/wasapi_fixture.h"

namespace cl::test {
namespace {

using testing::ElementsAre;
using testing::ElementsAreArray;

using WasapiLifecycleTest = WasapiTest;

TEST_F(WasapiLifecycleTest, SharedInitOpensInOrderAndShutdownReleasesEverything) {
    float exclusiveMs = -1.0f, sharedMs = -1.0f;
    ProviderInitArgs args;
    args.exclusiveDefaultMs = &exclusiveMs;
    args.sharedDefaultMs = &sharedMs;
    ASSERT_TRUE(init(args));
    EXPECT_THAT(fake_.calls(),
                ElementsAre("timeGetDevCaps", "CoCreateInstance(MMDeviceEnumerator)", "GetDefaultAudioEndpoint",
                            "RegisterEndpointNotificationCallback", "OpenPropertyStore", "GetValue(FriendlyName)",
                            "Activate(EndpointVolume)", "Activate(AudioClient3)", "GetMixFormat",
                            "IsFormatSupported(shared)", "GetDevicePeriod", "GetSharedModeEnginePeriod",
                            "InitializeSharedAudioStream(48)", "GetBufferSize", "GetService", "GetStreamLatency",
                            "GetService(AudioClock)", "GetFrequency", "CreateEventW", "timeSetEvent(1)", "CreateThread",
                            "Release(PropertyStore)", "Release(Device)", "timeBeginPeriod(1)"));
    // The mix format, float stereo at 48000, is the output format.
    EXPECT_EQ(engine_.output.outputFormat.load(), SampleFormat::Float32);
    EXPECT_EQ(engine_.output.frameRate(), 48000u);
    EXPECT_EQ(engine_.output.outputChannels.load(), 2u);
    EXPECT_EQ(provider_->state().fillTarget, fake_.bufferFrames);  // the whole buffer unless strict
    EXPECT_TRUE(logged("Using low latency shared mode"));
    EXPECT_TRUE(logged("Default settings: shared=1.0ms, exclusive=3.5ms"));
    EXPECT_EQ(sharedMs, 1.0f);
    EXPECT_EQ(exclusiveMs, 3.5f);
    EXPECT_NE(fake_.listener, nullptr);

    fake_.clearCalls();
    freeAudio(engine_);
    EXPECT_THAT(fake_.calls(), ElementsAre("WaitForSingleObject(Thread)", "Release(Thread)", "timeKillEvent(7)",
                                           "Release(TimerEvent)", "UnregisterEndpointNotificationCallback",
                                           "Release(DeviceEnumerator)", "Release(AudioClock)", "Release(RenderClient)",
                                           "Release(AudioClient3)", "Release(EndpointVolume)", "timeEndPeriod(1)"));
    EXPECT_EQ(fake_.liveObjects(), 0);
    EXPECT_EQ(fake_.listener, nullptr);
}

TEST_F(WasapiLifecycleTest, SelectedFormatIsReportedInFull) {
    ASSERT_TRUE(init());
    EXPECT_TRUE(
        logged("Selected format:\n - Format: 0xfffe\n - Subformat: IEEE\n - Channels: 2\n - Frequency: 48000\n"
               " - Bytes/sec: 384000\n - Block align: 8\n - Bits per sample: 32\n - Size: 22\n"
               " - Valid bits per sample: 32\n - Channel mask: 3\n"));
    // One entry of twelve lines, the last empty, as the header tells a log
    // receiver to expect.
    const std::vector<std::string> entries = log_.lines();
    const auto block = std::find_if(entries.begin(), entries.end(), [](const std::string& entry) {
        return LogCapture::body(entry).starts_with("Selected format:");
    });
    ASSERT_NE(block, entries.end());
    EXPECT_EQ(std::count(block->begin(), block->end(), '\n'), 12);
    EXPECT_TRUE(block->ends_with(" - Channel mask: 3\n\n"));
}

TEST_F(WasapiLifecycleTest, DeviceChosenByIdIsNotWatchedForDefaultChanges) {
    ProviderInitArgs args;
    args.deviceId = "{0.0.0.00000000}.{fake-speakers}";
    ASSERT_TRUE(init(args));
    EXPECT_EQ(fake_.count("GetDevice"), 1u);
    EXPECT_EQ(fake_.count("RegisterEndpointNotificationCallback"), 0u);
    EXPECT_EQ(fake_.listener, nullptr);
    freeAudio(engine_);
    // Unregistering what was never registered is harmless and done anyway.
    EXPECT_EQ(fake_.count("UnregisterEndpointNotificationCallback"), 1u);
}

TEST_F(WasapiLifecycleTest, NullOutPointersAreLeftAloneAndAFailedInitCanBeFollowedByASuccess) {
    fake_.script("GetDevicePeriod", {platform::kFail});
    EXPECT_FALSE(init());
    EXPECT_TRUE(init());  // both out pointers null
    EXPECT_TRUE(engine_.audio.audioInitialised.load());
}

// A log receiver runs on the main thread inside initaudio, after the audio
// thread has started ("Default settings" comes last): neither handshake may
// take the output for closed then, or an unload there would free records
// the thread renders and a schedule would touch the queues it consumes.
Engine* engineInInit = nullptr;
std::vector<std::string> linesThatSawTheOutputClosed;

void probeHandshakes(const char* line) {
    if (rendersAreHeld(*engineInInit) || startEventsAreHeld(*engineInInit))
        linesThatSawTheOutputClosed.push_back(LogCapture::body(line));
}

TEST_F(WasapiLifecycleTest, LogReceiversInsideInitaudioFindTheOutputOpen) {
    engineInInit = &engine_;
    linesThatSawTheOutputClosed.clear();
    engine_.clock.clockFrame = 0;  // running: only an open output holds start events back
    engine_.log.setCallback(0, probeHandshakes);
    ASSERT_TRUE(init());
    engine_.log.setCallback(0, nullptr);
    EXPECT_THAT(linesThatSawTheOutputClosed, testing::IsEmpty());
    ASSERT_TRUE(fake_.threadBody) << "the audio thread was started before the lines";
}

TEST_F(WasapiLifecycleTest, WithoutWasapiInitFailsCleanlyAndTheListIsEmpty) {
    fake_.hasDevices = false;
    EXPECT_FALSE(init());
    EXPECT_TRUE(logged("WASAPI output is not available in this build"));
    EXPECT_TRUE(logged("Failed to initialise audio"));
    static int listed;
    listed = 0;
    enumAudioDevices(engine_, [](int32_t, const char*, const char*) { ++listed; });
    EXPECT_EQ(listed, 0);
    EXPECT_FALSE(logged("Failed to enumerate audio devices for provider: 2"));
    EXPECT_TRUE(fake_.calls().empty());
}

// ---- Failure at each step -------------------------------------------------

struct InitFailure {
    const char* name;
    const char* call;  // the call that fails
    int32_t result;    // its answer
    std::string line;  // what is logged
    bool exclusive = false;
    bool byId = false;
    bool noClient3 = false;
};

void PrintTo(const InitFailure& failure, std::ostream* out) { *out << failure.name; }

class WasapiInitFailure : public WasapiTest, public testing::WithParamInterface<InitFailure> {};

TEST_P(WasapiInitFailure, IsLoggedOnceAndReleasesEverythingItTook) {
    const InitFailure& failure = GetParam();
    fake_.failAlways(failure.call, failure.result);
    fake_.offersClient3 = !failure.noClient3;
    ProviderInitArgs args;
    args.exclusive = failure.exclusive;
    if (failure.byId) args.deviceId = "{0.0.0.00000000}.{fake-speakers}";
    EXPECT_FALSE(init(args));

    EXPECT_EQ(log_.count(failure.line), 1u);
    EXPECT_TRUE(logged("Failed to initialise audio"));
    EXPECT_FALSE(engine_.audio.audioInitialised.load());
    EXPECT_EQ(fake_.liveObjects(), 0) << testing::PrintToString(fake_.calls());
    EXPECT_EQ(fake_.listener, nullptr);
    EXPECT_EQ(fake_.count("timeBeginPeriod(1)"), 0u);
    EXPECT_EQ(fake_.count("timeSetEvent(1)"),
              fake_.count("timeKillEvent(7)") + (failure.call == std::string("timeSetEvent")));
    EXPECT_TRUE(fake_.threadBody == nullptr);
}

constexpr int32_t kE = platform::kFail;  // 0x80004005

INSTANTIATE_TEST_SUITE_P(
    EachCheck, WasapiInitFailure,
    testing::Values(
        InitFailure{"TimeCaps", "timeGetDevCaps", 5, "Failed to get time limits: 0x5"},
        InitFailure{"Enumerator", "CoCreateInstance(MMDeviceEnumerator)", kE, WasapiTest::check(859, 0x80004005)},
        InitFailure{"IdConversion", "MultiByteToWideChar", 0x459,
                    "audio_wasapi@19d5a091:865 failed with last error 0x459", false, true},
        InitFailure{"GetDevice", "GetDevice", kE, WasapiTest::check(874, 0x80004005), false, true},
        InitFailure{"DefaultEndpoint", "GetDefaultAudioEndpoint", platform::kNotFound,
                    WasapiTest::check(882, 0x80070490)},
        InitFailure{"Register", "RegisterEndpointNotificationCallback", kE, WasapiTest::check(887, 0x80004005)},
        InitFailure{"PropertyStore", "OpenPropertyStore", kE, WasapiTest::check(893, 0x80004005)},
        InitFailure{"FriendlyName", "GetValue(FriendlyName)", kE, WasapiTest::check(899, 0x80004005)},
        InitFailure{"EndpointVolume", "Activate(EndpointVolume)", kE, WasapiTest::check(907, 0x80004005)},
        InitFailure{"AudioClient", "Activate(AudioClient)", kE, WasapiTest::check(944, 0x80004005), false, false, true},
        InitFailure{"NoFormat", "IsFormatSupported", platform::kUnsupportedFormat,
                    "No suitable format found (Shared @ 0Hz)"},
        InitFailure{"DevicePeriod", "GetDevicePeriod", kE, WasapiTest::check(992, 0x80004005)},
        InitFailure{"EnginePeriod", "GetSharedModeEnginePeriod", kE, WasapiTest::check(1073, 0x80004005)},
        InitFailure{"SharedStream", "InitializeSharedAudioStream", kE, WasapiTest::check(1153, 0x80004005)},
        InitFailure{"ExclusiveOpen", "Initialize", kE, WasapiTest::check(1057, 0x80004005), true},
        InitFailure{"BufferSize", "GetBufferSize", kE, WasapiTest::check(1164, 0x80004005)},
        InitFailure{"RenderClient", "GetService", kE, WasapiTest::check(1182, 0x80004005)},
        InitFailure{"TimerEvent", "CreateEventW", 8, "Failed to create timer event: 0x8"},
        InitFailure{"Timer", "timeSetEvent", 8, "Failed to start timer: 0x8"},
        InitFailure{"Thread", "CreateThread", 8, "Failed to create thread: 0x8"}),
    [](const testing::TestParamInfo<InitFailure>& info) { return std::string(info.param.name); });

TEST_F(WasapiLifecycleTest, UnreadableTimerFailsBeforeAnyComObject) {
    fake_.failAlways("timeGetDevCaps", 5);
    EXPECT_FALSE(init());
    EXPECT_THAT(fake_.calls(), ElementsAre("timeGetDevCaps"));
}

// ---- Device list ----------------------------------------------------------

std::vector<std::string> listed;
void recordDevice(int32_t provider, const char* id, const char* name) {
    listed.push_back(std::to_string(provider) + " " + id + " " + name);
}

TEST_F(WasapiLifecycleTest, DevicesAreListedInOrderWithUtf8IdsAndNames) {
    fake_.endpoints.push_back({L"{0.0.0.00000000}.{fake-headphones}", L"Headphones"});
    listed.clear();
    enumAudioDevices(engine_, recordDevice);
    EXPECT_THAT(listed, ElementsAre("2 {0.0.0.00000000}.{fake-speakers} Speakers (Fake Audio)",
                                    "2 {0.0.0.00000000}.{fake-headphones} Headphones"));
    EXPECT_EQ(fake_.liveObjects(), 0);

    fake_.endpoints.clear();
    listed.clear();
    enumAudioDevices(engine_, recordDevice);
    EXPECT_TRUE(listed.empty());
    EXPECT_FALSE(logged("Failed to enumerate audio devices for provider: 2"));
}

TEST_F(WasapiLifecycleTest, AFailureEndsTheListButKeepsWhatWasReported) {
    fake_.endpoints.push_back({L"second", L"Second"});
    fake_.script("GetValue(FriendlyName)", {platform::kOk, kE});
    listed.clear();
    enumAudioDevices(engine_, recordDevice);
    EXPECT_EQ(listed.size(), 1u);
    EXPECT_TRUE(logged(check(708, 0x80004005)));
    EXPECT_TRUE(logged("Failed to enumerate audio devices for provider: 2"));
    EXPECT_EQ(fake_.liveObjects(), 0);

    log_.clear();
    fake_.script("WideCharToMultiByte", {0, 0x7A});  // the name of the first device
    enumAudioDevices(engine_, recordDevice);
    EXPECT_TRUE(logged("audio_wasapi@19d5a091:713 failed with last error 0x7a"));
    EXPECT_EQ(fake_.liveObjects(), 0);
}

// ---- Device changes -------------------------------------------------------

TEST_F(WasapiLifecycleTest, OnlyARenderConsoleDefaultChangeMarksTheOutputLost) {
    ASSERT_TRUE(init());
    ASSERT_NE(fake_.listener, nullptr);
    struct Change {
        int32_t flow, role;
        bool lost;
    };
    for (Change change : {Change{0, 1, false}, Change{0, 2, false}, Change{1, 0, false}, Change{0, 0, true}}) {
        fake_.listener->onDefaultDeviceChanged(change.flow, change.role, L"{new}");
        EXPECT_EQ(audioNeedsReinit(engine_), change.lost) << change.flow << "/" << change.role;
        char line[96];
        std::snprintf(line, sizeof line, "Default device changed: {new} [flow=%d, role=%d]", change.flow, change.role);
        EXPECT_TRUE(logged(line));
    }
    // Stays set after the output closes, until a successful reopen.
    freeAudio(engine_);
    EXPECT_TRUE(audioNeedsReinit(engine_));
    fake_.script("GetDevicePeriod", {kE});
    EXPECT_FALSE(init());
    EXPECT_TRUE(audioNeedsReinit(engine_));
    ASSERT_TRUE(init());
    EXPECT_FALSE(audioNeedsReinit(engine_));
}

TEST_F(WasapiLifecycleTest, NoDefaultDeviceLeftArrivesAsANullId) {
    provider_->deviceChangeClient().onDefaultDeviceChanged(0, 0, nullptr);
    EXPECT_TRUE(logged("Default device changed: (null) [flow=0, role=0]"));
}

}  // namespace
}  // namespace cl::test
