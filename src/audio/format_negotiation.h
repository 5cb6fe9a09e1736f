#pragma once
// Choosing the device format: the device's own format when the mixer can
// write it and the device takes it, else the first known format it takes.
#include <cstdint>

#include "core/output_format.h"
#include "platform/audio_services.h"

namespace cl {

class Logger;

inline constexpr int32_t kNoFormat = -1;

// Channel layouts in order of preference; the mixer fills the first two
// channels of each frame.
inline constexpr uint32_t kCandidateLayouts[] = {3, 1599, 255, 1551, 63, 51, 4};
inline constexpr SampleFormat kCandidateFormats[] = {SampleFormat::Pcm16,       SampleFormat::Float32,
                                                     SampleFormat::Pcm24Padded, SampleFormat::Pcm24Tight,
                                                     SampleFormat::Pcm32,       SampleFormat::Pcm8};
inline constexpr uint32_t kCandidateRates[] = {48000, 44100, 96000, 192000, 88200, 176400};

// What negotiation talks to: the open device and its audio client.
struct FormatContext {
    Logger& log;
    platform::AudioPlatform& platform;
    platform::AudioDevice& device;
    platform::AudioClient& client;
};

// The SampleFormat value a device format maps onto, or kNoFormat. The
// channel mask is written unless the layout is refused.
int32_t classifyFormat(const platform::WaveFormat& format, uint32_t* channelMask);

// Asks the device for one format (extensible, then for 8 and 16-bit PCM and
// float the plain form when the first ask failed outright); only S_OK
// accepts. On acceptance the accepted record goes to `out` when given.
bool tryFormat(platform::AudioClient& client, uint32_t rate, bool exclusive, SampleFormat format,
               platform::WaveFormat* out, uint32_t channelMask);

// Layouts, then sample formats, then rates (only `rate` unless it is 0).
int32_t searchKnownFormats(platform::AudioClient& client, bool exclusive, uint32_t rate, platform::WaveFormat* out);

// The mix format (shared) or the device format (exclusive), falling back to
// the known-format search.
int32_t nativeFormat(const FormatContext& context, bool exclusive, platform::WaveFormat* out);

// With a rate, the search at that rate; without, the native format.
int32_t chooseFormat(const FormatContext& context, bool exclusive, uint32_t frameRate, platform::WaveFormat* out);

}  // namespace cl
