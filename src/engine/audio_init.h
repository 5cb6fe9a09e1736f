#pragma once
// Opening and closing audio output, and what the build reports about itself.
#include <cstdint>

#include "cantrelle.h"
#include "core/provider.h"
#include "engine/engine.h"

namespace cl {

bool initAudio(Engine& engine, int32_t providerId, const ProviderInitArgs& args);
void freeAudio(Engine& engine);
void enumAudioDevices(Engine& engine, DeviceCallback callback);
bool audioNeedsReinit(Engine& engine);
intptr_t getBuildString(Engine& engine, BuildStringCallback callback);

}  // namespace cl
