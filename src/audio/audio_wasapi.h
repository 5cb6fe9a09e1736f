#pragma once
// Provider 2: output through WASAPI on a render endpoint, in shared or
// exclusive mode, paced by a multimedia timer rather than by the audio
// engine's events. Init and Shutdown own everything in between: the COM
// objects, the timer, its event and the audio thread.
#include "audio/device_change.h"
#include "audio/wasapi_state.h"
#include "core/provider.h"

namespace cl {

struct ClientDefaults;

class WasapiProvider final : public ProviderOps {
public:
    explicit WasapiProvider(platform::AudioPlatform& platform = platform::systemAudioPlatform());
    ~WasapiProvider() override;

    void attach(Logger& log) override;
    const char* initFailureAdvice() const override { return initAdvice_; }
    bool Init(ProviderHost& host, const ProviderInitArgs& args) override;
    void Shutdown() override;
    void Resample(const float* source, uint32_t sourceCount, float** destination, uint32_t* destinationCount,
                  uint32_t sourceRate, uint32_t destinationRate) override;
    bool EnumerateDevices(DeviceCallback callback) override;
    // No periodic work for the main thread.
    void Tick() override {}
    bool NeedsReinit() override { return state_.deviceLost.load(std::memory_order_relaxed) != 0; }
    // What Init recorded, with the underruns counted since.
    OutputFigures GetOutputInfo() const override;

    // What the output holds, for tests.
    const WasapiState& state() const { return state_; }
    platform::DeviceChangeListener& deviceChangeClient() { return notificationClient_; }

private:
    bool open(ProviderHost& host, const ProviderInitArgs& args, uint32_t timerPeriodMin, ClientDefaults* defaults);
    void releaseAfterFailure();
    Logger& log();

    platform::AudioPlatform& platform_;
    WasapiState state_;
    DeviceChangeClient notificationClient_{state_};
    Logger* log_ = nullptr;
    const char* initAdvice_ = nullptr;  // set by a failing Init (main thread only)
};

}  // namespace cl
