// Format negotiation: which device formats the mixer can write, how the
// device is asked, the order of the known-format search and the reports.
#include <gmock/gmock.h>

#include "audio/format_negotiation.h"
#include "fakes/wasapi_fixture.h"

namespace cl::test {
namespace {

using platform::WaveFormat;

WaveFormat plain(uint16_t tag, uint16_t channels, uint16_t bits) {
    WaveFormat format{};
    format.formatTag = tag;
    format.channels = channels;
    format.samplesPerSec = 48000;
    format.bitsPerSample = bits;
    format.blockAlign = static_cast<uint16_t>(channels * bits / 8);
    format.avgBytesPerSec = format.blockAlign * 48000u;
    return format;
}

WaveFormat withBits(WaveFormat format, uint16_t container, uint16_t valid) {
    format.bitsPerSample = container;
    format.validBitsPerSample = valid;
    return format;
}

struct Classification {
    const char* name;
    WaveFormat format;
    int32_t expected;
    int64_t mask;  // -1: not written
};

void PrintTo(const Classification& c, std::ostream* out) { *out << c.name; }

class ClassifyFormat : public testing::TestWithParam<Classification> {};

TEST_P(ClassifyFormat, MapsOntoASampleFormatAndLayout) {
    const Classification& c = GetParam();
    uint32_t mask = 0xDEAD;
    EXPECT_EQ(classifyFormat(c.format, &mask), c.expected);
    EXPECT_EQ(mask, c.mask < 0 ? 0xDEADu : static_cast<uint32_t>(c.mask));
}

const WaveFormat kFloatStereo = extensibleFormat(SampleFormat::Float32, 48000, 3);

INSTANTIATE_TEST_SUITE_P(
    Cases, ClassifyFormat,
    testing::Values(Classification{"FloatStereo", kFloatStereo, 6, 3},
                    Classification{"FrontPairPlusMore", extensibleFormat(SampleFormat::Pcm16, 48000, 0x107), 2, 0x107},
                    Classification{"MonoMask", extensibleFormat(SampleFormat::Pcm16, 48000, 4), 2, 4},
                    Classification{"BackPairOnly", extensibleFormat(SampleFormat::Pcm16, 48000, 0x30), kNoFormat, -1},
                    Classification{"Padded24", extensibleFormat(SampleFormat::Pcm24Padded, 48000, 3), 3, 3},
                    Classification{"Tight24", extensibleFormat(SampleFormat::Pcm24Tight, 48000, 3), 4, 3},
                    Classification{"Pcm32", extensibleFormat(SampleFormat::Pcm32, 48000, 3), 5, 3},
                    Classification{"Pcm8", extensibleFormat(SampleFormat::Pcm8, 48000, 3), 1, 3},
                    Classification{"Valid20In24",
                                   withBits(extensibleFormat(SampleFormat::Pcm24Tight, 48000, 3), 24, 20), kNoFormat,
                                   3},
                    Classification{"Float64", withBits(kFloatStereo, 64, 64), kNoFormat, 3},
                    Classification{"PlainThreeChannels", plain(1, 3, 16), 2, 7},
                    Classification{"PlainSixChannels", plain(1, 6, 16), 2, 1551},
                    Classification{"PlainNoChannels", plain(1, 0, 16), kNoFormat, -1},
                    Classification{"PlainFloat", plain(3, 2, 32), 6, 3},
                    Classification{"PlainFloat16", plain(3, 2, 16), kNoFormat, 3},
                    Classification{"OtherTag", plain(2, 2, 16), kNoFormat, 3}),
    [](const testing::TestParamInfo<Classification>& info) { return std::string(info.param.name); });

class FormatNegotiationTest : public WasapiTest {
protected:
    // Activates an audio client of the fake device.
    void SetUp() override {
        ASSERT_EQ(fake_.createDeviceEnumerator(&enumerator_), 0);
        ASSERT_EQ(enumerator_->GetDefaultAudioEndpoint(&device_), 0);
        ASSERT_EQ(device_->ActivateAudioClient(false, &client_), 0);
        fake_.clearCalls();
    }
    FormatContext context() { return FormatContext{engine_.log, fake_, *device_, *client_}; }

    std::unique_ptr<platform::DeviceEnumerator> enumerator_;
    std::unique_ptr<platform::AudioDevice> device_;
    std::unique_ptr<platform::AudioClient> client_;
};

TEST_F(FormatNegotiationTest, OnlyOkAcceptsAndOnlyAFailureTriesThePlainForm) {
    WaveFormat out{};
    // S_FALSE (a closest match exists) refuses without a second ask.
    fake_.formatAnswer = [](bool, const WaveFormat&) { return platform::kFalse; };
    EXPECT_FALSE(tryFormat(*client_, 48000, false, SampleFormat::Pcm16, &out, 3));
    EXPECT_EQ(fake_.formatQueries.size(), 1u);

    // A failed extensible ask is retried in the plain form, which is taken.
    fake_.formatQueries.clear();
    fake_.formatAnswer = [](bool, const WaveFormat& f) {
        return f.cbSize == 0 ? platform::kOk : platform::kUnsupportedFormat;
    };
    EXPECT_TRUE(tryFormat(*client_, 44100, true, SampleFormat::Pcm16, &out, 3));
    ASSERT_EQ(fake_.formatQueries.size(), 2u);
    const WaveFormat& extensible = fake_.formatQueries[0].second;
    EXPECT_EQ(extensible.formatTag, 0xFFFE);
    EXPECT_EQ(extensible.cbSize, 22);
    EXPECT_EQ(extensible.channels, 2);
    EXPECT_EQ(extensible.blockAlign, 4);
    EXPECT_EQ(extensible.avgBytesPerSec, 176400u);
    EXPECT_EQ(extensible.subFormat, platform::kSubtypePcm);
    EXPECT_TRUE(fake_.formatQueries[0].first);  // exclusive
    EXPECT_EQ(out.formatTag, platform::kWaveFormatPcm);
    EXPECT_EQ(out.cbSize, 0);

    // Formats without a plain form are asked once.
    fake_.formatQueries.clear();
    EXPECT_FALSE(tryFormat(*client_, 48000, false, SampleFormat::Pcm24Padded, &out, 3));
    EXPECT_EQ(fake_.formatQueries.size(), 1u);
    EXPECT_EQ(fake_.formatQueries[0].second.bitsPerSample, 32);
    EXPECT_EQ(fake_.formatQueries[0].second.validBitsPerSample, 24);
}

TEST_F(FormatNegotiationTest, SearchAtARateAsksSixteenBitBeforeFloatAndLayoutFirst) {
    fake_.formatAnswer = [](bool, const WaveFormat& f) {
        return f.channelMask == 1551 && f.subFormat == platform::kSubtypeIeeeFloat && f.cbSize == 22
                   ? platform::kOk
                   : platform::kUnsupportedFormat;
    };
    WaveFormat out{};
    EXPECT_EQ(searchKnownFormats(*client_, false, 44100, &out), static_cast<int32_t>(SampleFormat::Float32));
    EXPECT_EQ(out.channelMask, 1551u);
    EXPECT_EQ(out.channels, 6);
    for (const auto& [exclusive, format] : fake_.formatQueries) EXPECT_EQ(format.samplesPerSec, 44100u);
    // Stereo first: 16-bit extensible, its plain form, then float.
    ASSERT_GE(fake_.formatQueries.size(), 3u);
    EXPECT_EQ(fake_.formatQueries[0].second.bitsPerSample, 16);
    EXPECT_EQ(fake_.formatQueries[1].second.formatTag, platform::kWaveFormatPcm);
    EXPECT_EQ(fake_.formatQueries[2].second.subFormat, platform::kSubtypeIeeeFloat);
    EXPECT_EQ(fake_.formatQueries[0].second.channelMask, 3u);

    // With any rate, the rate weighs least: 48000 first.
    fake_.formatQueries.clear();
    fake_.formatAnswer = [](bool, const WaveFormat&) { return platform::kUnsupportedFormat; };
    EXPECT_EQ(searchKnownFormats(*client_, false, 0, &out), kNoFormat);
    EXPECT_EQ(fake_.formatQueries[0].second.samplesPerSec, 48000u);
    EXPECT_EQ(fake_.formatQueries[2].second.samplesPerSec, 44100u);
}

TEST_F(FormatNegotiationTest, NativeMixFormatWithTheFrontPairIsKeptWithItsMask) {
    fake_.mixFormat = formatBytes(extensibleFormat(SampleFormat::Float32, 48000, 0x107));
    WaveFormat out{};
    EXPECT_EQ(nativeFormat(context(), false, &out), static_cast<int32_t>(SampleFormat::Float32));
    EXPECT_EQ(out.channelMask, 0x107u);
    EXPECT_EQ(fake_.formatQueries.size(), 1u);
    EXPECT_THAT(fake_.calls(), testing::ElementsAre("GetMixFormat", "IsFormatSupported(shared)"));
}

TEST_F(FormatNegotiationTest, UnmappableNativeFormatFallsBackToTheSearch) {
    fake_.mixFormat = formatBytes(extensibleFormat(SampleFormat::Float32, 48000, 0x30));
    fake_.formatAnswer = [](bool, const WaveFormat& f) {
        return f.channelMask == 3 && f.bitsPerSample == 16 && f.samplesPerSec == 48000 && f.cbSize == 22
                   ? platform::kOk
                   : platform::kUnsupportedFormat;
    };
    WaveFormat out{};
    EXPECT_EQ(nativeFormat(context(), false, &out), static_cast<int32_t>(SampleFormat::Pcm16));
    EXPECT_TRUE(logged("Failed to map mix format to supported format"));
    EXPECT_TRUE(logged("Native format not supported; trying all known formats"));
    EXPECT_EQ(log_.lines().size(), 3u);  // with the "Mix format:" report between them
}

TEST_F(FormatNegotiationTest, ExclusiveReadsTheDeviceFormatAndCountsAFailureOnce) {
    WaveFormat out{};
    EXPECT_EQ(nativeFormat(context(), true, &out), static_cast<int32_t>(SampleFormat::Pcm16));
    EXPECT_THAT(fake_.calls(), testing::ElementsAre("OpenPropertyStore", "GetValue(DeviceFormat)",
                                                    "Release(PropertyStore)", "IsFormatSupported(exclusive)"));

    fake_.failAlways("GetValue(DeviceFormat)", platform::kFail);
    EXPECT_EQ(nativeFormat(context(), true, &out), static_cast<int32_t>(SampleFormat::Pcm16));  // by the search
    EXPECT_TRUE(logged(check(614, 0x80004005)));
    EXPECT_TRUE(logged("Native format not supported; trying all known formats"));

    // A value that holds no blob also goes to the search, without a check line.
    log_.clear();
    fake_.failAlways("GetValue(DeviceFormat)", platform::kOk);
    fake_.deviceFormat.clear();
    fake_.formatAnswer = [](bool, const WaveFormat&) { return platform::kUnsupportedFormat; };
    EXPECT_EQ(nativeFormat(context(), true, &out), kNoFormat);
    EXPECT_EQ(log_.lines().size(), 1u);
}

TEST_F(WasapiTest, NoFormatLogsTheSupportTableAndTheDeviceFormats) {
    fake_.formatAnswer = [](bool exclusive, const WaveFormat& f) {
        // Shared takes plain 16-bit stereo at 44100 only.
        return !exclusive && f.cbSize == 0 && f.bitsPerSample == 16 && f.channels == 2 && f.samplesPerSec == 44100
                   ? platform::kOk
                   : platform::kUnsupportedFormat;
    };
    ProviderInitArgs args;
    args.frameRate = 96000;
    EXPECT_FALSE(init(args));
    EXPECT_TRUE(logged("No suitable format found (Shared @ 96000Hz)"));
    size_t rows = 0;
    for (const std::string& line : log_.lines()) rows += LogCapture::body(line).rfind("[", 0) == 0;
    EXPECT_EQ(rows, 168u);
    EXPECT_TRUE(logged("[S| ] stereo   16-bit PCM  @  44100Hz (  )"));
    EXPECT_TRUE(logged("[ | ] 7.1 home theater 32-bit IEEE @ 192000Hz (  )"));
    EXPECT_TRUE(logged("[ | ] mono     24-bit (padded) PCM  @  48000Hz (  )"));
    EXPECT_TRUE(
        log_.contains("Mix format:\n - Format: 0xfffe\n - Subformat: IEEE\n - Channels: 2\n - Frequency: 48000\n"
                      " - Bytes/sec: 384000\n - Block align: 8\n - Bits per sample: 32\n - Size: 22\n"
                      " - Valid bits per sample: 32\n - Channel mask: 3\n"));
    EXPECT_EQ(fake_.liveObjects(), 0);
}

TEST_F(WasapiTest, UnknownSubformatIsNamedByItsGuid) {
    WaveFormat odd = extensibleFormat(SampleFormat::Pcm16, 48000, 3);
    odd.subFormat.data1 = 9;
    fake_.mixFormat = formatBytes(odd);
    fake_.formatAnswer = [](bool, const WaveFormat& f) {
        return f.bitsPerSample == 16 && f.cbSize == 22 ? platform::kOk : platform::kUnsupportedFormat;
    };
    ASSERT_TRUE(init());
    EXPECT_TRUE(logged("Failed to map mix format to supported format"));
    EXPECT_TRUE(logged("Subformat: {00000009-0000-0010-8000-00AA00389B71}"));
    freeAudio(engine_);

    log_.clear();
    fake_.failAlways("StringFromCLSID", platform::kFail);
    ASSERT_TRUE(init());
    EXPECT_TRUE(logged("Failed to call StringFromCLSID"));
}

TEST_F(WasapiTest, ARequestedRateIsSearchedForAndBecomesTheOutputRate) {
    fake_.formatAnswer = [](bool, const WaveFormat& f) {
        return f.samplesPerSec == 44100 && f.cbSize == 22 ? platform::kOk : platform::kUnsupportedFormat;
    };
    ProviderInitArgs args;
    args.frameRate = 44100;
    ASSERT_TRUE(init(args));
    EXPECT_EQ(fake_.count("GetMixFormat"), 0u);
    EXPECT_EQ(engine_.output.frameRate(), 44100u);
    EXPECT_EQ(engine_.output.outputFormat.load(), SampleFormat::Pcm16);
}

}  // namespace
}  // namespace cl::test
