#include "audio/format_log.h"

#include "audio/format_negotiation.h"
#include "audio/wasapi_state.h"
#include "core/log.h"
#include "platform/audio_results.h"

namespace cl {
namespace {

using platform::WaveFormat;

const char* layoutLabel(uint32_t mask) {
    switch (mask) {
        case 3: return "stereo";
        case 1599: return "7.1 home theater";
        case 255: return "7.1 wide";
        case 1551: return "5.1";
        case 63: return "5.1 (legacy)";
        case 51: return "4 channel";
        case 4: return "mono";
    }
    return "";
}

const char* sizeLabel(SampleFormat format) {
    switch (format) {
        case SampleFormat::Pcm8: return "8-bit";
        case SampleFormat::Pcm16: return "16-bit";
        case SampleFormat::Pcm24Padded: return "24-bit (padded)";
        case SampleFormat::Pcm24Tight: return "24-bit (tight)";
        case SampleFormat::Pcm32:
        case SampleFormat::Float32: return "32-bit";
    }
    return "";
}

}  // namespace

void logFormat(Logger& log, platform::AudioPlatform& platform, const WaveFormat& format, const char* title) {
    const bool extensible = format.formatTag == platform::kWaveFormatExtensible;
    const char* subFormat = "<none>";
    if (extensible) {
        subFormat = format.subFormat == platform::kSubtypePcm         ? "PCM"
                    : format.subFormat == platform::kSubtypeIeeeFloat ? "IEEE"
                                                                      : "<unknown>";
    }
    log.message(1,
                "[CL] [tid=%4x] %s format:\n - Format: %#x\n - Subformat: %s\n - Channels: %d\n - Frequency: %d\n"
                " - Bytes/sec: %d\n - Block align: %d\n - Bits per sample: %d\n - Size: %d\n"
                " - Valid bits per sample: %d\n - Channel mask: %d\n\n",
                tid(), title, format.formatTag, subFormat, format.channels, static_cast<int>(format.samplesPerSec),
                static_cast<int>(format.avgBytesPerSec), format.blockAlign, format.bitsPerSample, format.cbSize,
                extensible ? format.validBitsPerSample : 0, extensible ? static_cast<int>(format.channelMask) : 0);
    if (extensible && subFormat[0] == '<') {
        std::wstring text;
        if (platform::failed(platform.guidText(format.subFormat, &text))) {
            log.message(3, "[CL] [tid=%4x] Failed to call StringFromCLSID\n", tid());
        } else {
            log.message(1, "[CL] [tid=%4x] Subformat: %ls\n", tid(), text.c_str());
        }
    }
}

void logFormatTable(Logger& log, platform::AudioPlatform& platform, platform::AudioDevice& device,
                    platform::AudioClient& client) {
    constexpr uint32_t kTableRates[] = {48000, 44100, 96000, 192000};
    for (uint32_t mask : kCandidateLayouts) {
        for (SampleFormat format : kCandidateFormats) {
            for (uint32_t rate : kTableRates) {
                WaveFormat accepted{};
                const bool shared = tryFormat(client, rate, false, format, &accepted, mask);
                const bool exclusive = tryFormat(client, rate, true, format, &accepted, mask);
                log.message(3, "[CL] [tid=%4x] [%1s|%1s] %-8s %-6s %-4s @ %6dHz (%2s)\n", tid(), shared ? "S" : "",
                            exclusive ? "E" : "", layoutLabel(mask), sizeLabel(format),
                            format == SampleFormat::Float32 ? "IEEE" : "PCM", static_cast<int>(rate),
                            accepted.cbSize != 0 ? "EX" : "");
            }
        }
    }

    std::vector<uint8_t> bytes;
    WaveFormat format{};
    if (const int32_t result = client.GetMixFormat(&bytes); platform::failed(result)) {
        log.message(3, "[CL] [tid=%4x] Failed to get mix format: %#x\n", tid(), static_cast<unsigned>(result));
    } else if (platform::readWaveFormat(bytes.data(), bytes.size(), &format)) {
        logFormat(log, platform, format, "Mix");
    }

    std::unique_ptr<platform::PropertyStore> store;
    if (const int32_t result = device.OpenPropertyStore(&store); platform::failed(result)) {
        logCheckFailure(log, 340, result);
        return;
    }
    bytes.clear();
    if (const int32_t result = store->GetDeviceFormat(&bytes); platform::failed(result)) {
        logCheckFailure(log, 343, result);
    } else if (platform::readWaveFormat(bytes.data(), bytes.size(), &format)) {
        logFormat(log, platform, format, "Device");
    }
}

}  // namespace cl
