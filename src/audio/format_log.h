#pragma once
// The device format reports of the log: one format in full, and the table of
// what the device accepts when no format could be found.
#include "platform/audio_services.h"

namespace cl {

class Logger;

// Level 1; title is "Selected", "Mix" or "Device".
void logFormat(Logger& log, platform::AudioPlatform& platform, const platform::WaveFormat& format, const char* title);

// Level 3: every candidate layout, sample format and the first four rates in
// shared and exclusive mode, then the mix and device formats.
void logFormatTable(Logger& log, platform::AudioPlatform& platform, platform::AudioDevice& device,
                    platform::AudioClient& client);

}  // namespace cl
