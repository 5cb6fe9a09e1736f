#pragma once
#include "core/provider.h"

namespace cl {

// Plays nothing and opens no device: it only sets the output format
// (16-bit stereo at the requested rate). No audio thread runs with it.
class NullProvider final : public ProviderOps {
public:
    bool Init(ProviderHost& host, const ProviderInitArgs& args) override;
    void Shutdown() override {}
    void Resample(const float*, uint32_t, float**, uint32_t*, uint32_t, uint32_t) override {}
    bool EnumerateDevices(DeviceCallback) override { return true; }
    void Tick() override {}
    bool NeedsReinit() override { return false; }
    // Its format; no device, so every device figure is 0.
    OutputFigures GetOutputInfo() const override;

private:
    uint32_t frameRate_ = 0;  // of the open output
};

}  // namespace cl
