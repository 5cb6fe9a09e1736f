#pragma once
// The list of active render endpoints, reported with UTF-8 ids and names.
#include "cantrelle.h"
#include "platform/audio_services.h"

namespace cl {

class Logger;

// Calls `callback` (provider 2, id, friendly name) for each endpoint in
// collection order. False after the first failing call, which is logged;
// endpoints reported before it stay reported.
bool enumerateDevices(Logger& log, platform::AudioPlatform& platform, DeviceCallback callback);

}  // namespace cl
