// What getoutputinfo reports for WASAPI opens against the scripted device,
// and what the output does without the device's timing services.
#include <gmock/gmock.h>

#include "engine/output_info.h"
#include "fakes/wasapi_fixture.h"

namespace cl::test {
namespace {

using WasapiOutputInfoTest = WasapiTest;

struct OpenCase {
    const char* name;
    bool exclusive;
    bool client3;
    float bufferMs;
    bool strict;
    uint32_t sampleFormat, devicePeriod, fillTarget;
};

void PrintTo(const OpenCase& open, std::ostream* out) { *out << open.name; }

class WasapiOpenFigures : public WasapiTest, public testing::WithParamInterface<OpenCase> {};

// The fake device: float mix and 16-bit device format at 48000, default
// period 10 ms (480 frames), engine periods of 48 to 480 frames, a
// 1920-frame buffer and a stream latency of 2 ms (96 frames).
TEST_P(WasapiOpenFigures, AreReportedAsOpened) {
    const OpenCase& open = GetParam();
    fake_.offersClient3 = open.client3;
    ProviderInitArgs args;
    args.exclusive = open.exclusive;
    args.bufferMs = open.bufferMs;
    args.strictBufferSize = open.strict;
    ASSERT_TRUE(init(args));

    CantrelleOutputInfo info{};
    info.size = sizeof info;
    ASSERT_TRUE(getOutputInfo(engine_, &info));
    EXPECT_EQ(info.size, sizeof info);
    EXPECT_EQ(info.provider, 2u);
    EXPECT_EQ(info.sampleFormat, open.sampleFormat);
    EXPECT_EQ(info.frameRate, 48000u);
    EXPECT_EQ(info.channels, 2u);
    EXPECT_EQ(info.exclusive, open.exclusive ? 1u : 0u);
    EXPECT_EQ(info.devicePeriodFrames, open.devicePeriod);
    EXPECT_EQ(info.bufferFrames, 1920u);
    EXPECT_EQ(info.fillTargetFrames, open.fillTarget);
    EXPECT_EQ(info.latencyFrames, open.fillTarget + 96);
    EXPECT_EQ(info.underruns, 0u);
}

INSTANTIATE_TEST_SUITE_P(Modes, WasapiOpenFigures,
                         testing::Values(OpenCase{"LowLatencyShared", false, true, 0.0f, false, 6, 48, 1920},
                                         OpenCase{"LowLatencySharedStrict", false, true, 5.0f, true, 6, 240, 240},
                                         OpenCase{"ClassicShared", false, false, 0.0f, false, 6, 480, 1920},
                                         OpenCase{"Exclusive", true, true, 0.0f, false, 2, 480, 1920},
                                         OpenCase{"ExclusiveStrict", true, true, 5.0f, true, 2, 480, 240}),
                         [](const testing::TestParamInfo<OpenCase>& info) { return std::string(info.param.name); });

struct MissingService {
    const char* name;
    const char* call;      // what fails; empty: GetFrequency answers 0
    const char* line;      // the one line of the open
    bool positionReports;  // the output still has a clock
    uint32_t latencyFrames;
};

void PrintTo(const MissingService& missing, std::ostream* out) { *out << missing.name; }

class WasapiWithoutTiming : public WasapiTest, public testing::WithParamInterface<MissingService> {};

TEST_P(WasapiWithoutTiming, StillOpensWithOneLine) {
    const MissingService& missing = GetParam();
    if (missing.call[0] != 0) {
        fake_.failAlways(missing.call, platform::hresult(0x80004002));  // E_NOINTERFACE
    } else {
        fake_.clockFrequency = 0;
    }
    ASSERT_TRUE(init());
    EXPECT_EQ(log_.count(missing.line), 1u);
    EXPECT_EQ(provider_->state().audioClock != nullptr, missing.positionReports);
    CantrelleOutputInfo info{};
    info.size = sizeof info;
    ASSERT_TRUE(getOutputInfo(engine_, &info));
    EXPECT_EQ(info.latencyFrames, missing.latencyFrames);
    freeAudio(engine_);
    EXPECT_EQ(fake_.liveObjects(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Each, WasapiWithoutTiming,
    testing::Values(MissingService{"NoClockService", "GetService(AudioClock)",
                                   "The device reports no playing position: 0x80004002", false, 1920 + 96},
                    MissingService{"NoClockFrequency", "GetFrequency",
                                   "The device reports no playing position: 0x80004002", false, 1920 + 96},
                    MissingService{"ClockWithoutRate", "", "The device reports no playing position: 0x80004005", false,
                                   1920 + 96},
                    MissingService{"NoStreamLatency", "GetStreamLatency",
                                   "The device reports no stream latency: 0x80004002", true, 1920}),
    [](const testing::TestParamInfo<MissingService>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace cl::test
