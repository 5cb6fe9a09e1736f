#pragma once
#include "core/provider.h"

namespace cl {

// Provider 2. Output through WASAPI is not built yet: Init refuses with a
// log line rather than pretending, and the device list is empty.
class WasapiProvider final : public ProviderOps {
public:
    bool Init(Engine& engine, const ProviderInitArgs& args) override;
    void Shutdown() override {}
    void Resample(const float*, uint32_t, float**, uint32_t*, uint32_t, uint32_t) override {}
    bool EnumerateDevices(DeviceCallback) override { return true; }
    void Tick() override {}
    bool NeedsReinit() override { return false; }
};

}  // namespace cl
