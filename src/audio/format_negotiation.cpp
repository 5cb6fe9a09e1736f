#include "audio/format_negotiation.h"

#include <bit>

#include "audio/format_log.h"
#include "audio/wasapi_state.h"
#include "core/log.h"
#include "platform/audio_results.h"

namespace cl {
namespace {

using platform::WaveFormat;

constexpr uint32_t kFrontLeftRight = 3;
constexpr uint32_t kMono = 4;

int32_t value(SampleFormat format) { return static_cast<int32_t>(format); }

int32_t classifyPcm(uint16_t container, uint16_t valid) {
    if (valid == 8 && container == 8) return value(SampleFormat::Pcm8);
    if (valid == 16 && container == 16) return value(SampleFormat::Pcm16);
    if (valid == 24 && container == 32) return value(SampleFormat::Pcm24Padded);
    if (valid == 24 && container == 24) return value(SampleFormat::Pcm24Tight);
    if (valid == 32 && container == 32) return value(SampleFormat::Pcm32);
    return kNoFormat;
}

// A plain format names no layout: the usual one for its channel count.
int64_t maskForChannels(uint16_t channels) {
    switch (channels) {
        case 0: return -1;
        case 1: return kMono;
        case 2: return kFrontLeftRight;
        case 4: return 51;
        case 6: return 1551;
        case 8: return 1599;
        default: return channels >= 32 ? 0xFFFFFFFFll : (1ll << channels) - 1;
    }
}

struct FormatBits {
    uint16_t container;
    uint16_t valid;
    const platform::Guid* subFormat;
    uint16_t plainTag;  // 0: no plain form
};

FormatBits bitsOf(SampleFormat format) {
    switch (format) {
        case SampleFormat::Pcm8: return {8, 8, &platform::kSubtypePcm, platform::kWaveFormatPcm};
        case SampleFormat::Pcm16: return {16, 16, &platform::kSubtypePcm, platform::kWaveFormatPcm};
        case SampleFormat::Pcm24Padded: return {32, 24, &platform::kSubtypePcm, 0};
        case SampleFormat::Pcm24Tight: return {24, 24, &platform::kSubtypePcm, 0};
        case SampleFormat::Pcm32: return {32, 32, &platform::kSubtypePcm, 0};
        case SampleFormat::Float32: return {32, 32, &platform::kSubtypeIeeeFloat, platform::kWaveFormatIeeeFloat};
    }
    return {0, 0, &platform::kSubtypePcm, 0};
}

}  // namespace

int32_t classifyFormat(const WaveFormat& format, uint32_t* channelMask) {
    int64_t mask;
    if (format.formatTag == platform::kWaveFormatExtensible) {
        const uint32_t given = format.channelMask;
        const bool accepted =
            given == kFrontLeftRight || (given & kFrontLeftRight) == kFrontLeftRight || given == kMono;
        mask = accepted ? static_cast<int64_t>(given) : -1;
    } else {
        mask = maskForChannels(format.channels);
    }
    if (mask < 0) return kNoFormat;
    *channelMask = static_cast<uint32_t>(mask);

    switch (format.formatTag) {
        case platform::kWaveFormatExtensible:
            if (format.subFormat == platform::kSubtypePcm) {
                return classifyPcm(format.bitsPerSample, format.validBitsPerSample);
            }
            if (format.subFormat == platform::kSubtypeIeeeFloat) {
                return format.validBitsPerSample == 32 && format.bitsPerSample == 32 ? value(SampleFormat::Float32)
                                                                                     : kNoFormat;
            }
            return kNoFormat;
        case platform::kWaveFormatPcm: return classifyPcm(format.bitsPerSample, format.bitsPerSample);
        case platform::kWaveFormatIeeeFloat:
            return format.bitsPerSample == 32 ? value(SampleFormat::Float32) : kNoFormat;
        default: return kNoFormat;
    }
}

bool tryFormat(platform::AudioClient& client, uint32_t rate, bool exclusive, SampleFormat format, WaveFormat* out,
               uint32_t channelMask) {
    const FormatBits bits = bitsOf(format);
    WaveFormat wanted{};
    wanted.formatTag = platform::kWaveFormatExtensible;
    wanted.channels = static_cast<uint16_t>(std::popcount(channelMask));
    wanted.samplesPerSec = rate;
    wanted.bitsPerSample = bits.container;
    wanted.validBitsPerSample = bits.valid;
    wanted.subFormat = *bits.subFormat;
    wanted.blockAlign = static_cast<uint16_t>(wanted.channels * wanted.bitsPerSample / 8);
    wanted.avgBytesPerSec = wanted.blockAlign * rate;
    wanted.cbSize = 22;
    wanted.channelMask = channelMask;

    int32_t result = client.IsFormatSupported(exclusive, wanted);
    // S_FALSE offers a closest match, which is not this format: refused,
    // and not retried in the plain form either.
    if (platform::failed(result) && bits.plainTag != 0) {
        wanted.formatTag = bits.plainTag;
        wanted.cbSize = 0;
        result = client.IsFormatSupported(exclusive, wanted);
    }
    if (result != platform::kOk) return false;
    if (out != nullptr) *out = wanted;
    return true;
}

int32_t searchKnownFormats(platform::AudioClient& client, bool exclusive, uint32_t rate, WaveFormat* out) {
    for (uint32_t mask : kCandidateLayouts) {
        for (SampleFormat format : kCandidateFormats) {
            for (uint32_t candidate : kCandidateRates) {
                if (rate != 0 && candidate != rate) continue;
                if (tryFormat(client, candidate, exclusive, format, out, mask)) return value(format);
            }
        }
    }
    return kNoFormat;
}

int32_t nativeFormat(const FormatContext& context, bool exclusive, WaveFormat* out) {
    std::vector<uint8_t> bytes;
    WaveFormat native{};
    bool readable = false;
    if (!exclusive) {
        const int32_t result = context.client.GetMixFormat(&bytes);
        if (platform::failed(result)) {
            logCheckFailure(context.log, 587, result);
        } else {
            readable = platform::readWaveFormat(bytes.data(), bytes.size(), &native);
        }
    } else {
        std::unique_ptr<platform::PropertyStore> store;
        int32_t result = context.device.OpenPropertyStore(&store);
        if (platform::failed(result)) {
            logCheckFailure(context.log, 609, result);
        } else if (result = store->GetDeviceFormat(&bytes); platform::failed(result)) {
            logCheckFailure(context.log, 614, result);
        } else {
            readable = platform::readWaveFormat(bytes.data(), bytes.size(), &native);
        }
    }

    if (readable) {
        uint32_t mask = 0;
        const int32_t format = classifyFormat(native, &mask);
        if (format == kNoFormat) {
            context.log.message(3,
                                exclusive ? "[CL] [tid=%4x] Failed to map device format to supported format\n"
                                          : "[CL] [tid=%4x] Failed to map mix format to supported format\n",
                                tid());
            logFormat(context.log, context.platform, native, exclusive ? "Device" : "Mix");
        } else if (context.client.IsFormatSupported(exclusive, native) == platform::kOk) {
            *out = native;
            return format;
        }
    }
    context.log.message(3, "[CL] [tid=%4x] Native format not supported; trying all known formats\n", tid());
    return searchKnownFormats(context.client, exclusive, 0, out);
}

int32_t chooseFormat(const FormatContext& context, bool exclusive, uint32_t frameRate, WaveFormat* out) {
    if (frameRate != 0) return searchKnownFormats(context.client, exclusive, frameRate, out);
    return nativeFormat(context, exclusive, out);
}

}  // namespace cl
