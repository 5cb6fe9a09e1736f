#pragma once
// The engine: every room's state in one object, and what wires the rooms
// together. A library holds exactly one (see api/global_engine); tests
// construct their own.
#include <atomic>
#include <cstdint>

#include "engine/provider_list.h"
#include "input/input_ticker.h"
#include "mixer/mixer_state.h"

namespace cl {

inline constexpr int32_t kVersion = 35;
inline constexpr const char* kBuildString = "Cantrelle Engine 0.35 (19d5a091) compiled for Windows x86_64";
inline constexpr int32_t kFeatures = 0;

// The layers of the state are the rooms' own (core/engine_core.h up to
// mixer/mixer_state.h); a subsystem's function takes the layer of its room,
// and an Engine passes as any of them. Providers see it as their host.
struct Engine final : MixerState, ProviderHost {
    explicit Engine(ProviderRegistry registry = defaultProviderRegistry(), DebugSink debugSink = platform::debugOutput,
                    uint32_t firstSoundId = 0);
    ~Engine();

    // ProviderHost
    Logger& logger() override { return log; }
    bool setOutputFormat(SampleFormat format, uint32_t frameRate, uint32_t channels) override;
    CL_REALTIME uint32_t renderPeriod(uint8_t* buffer, uint32_t frames, int64_t streamFrame) override;
    CL_REALTIME void devicePlayedAt(int64_t streamFrame, int64_t counterTicks) override;
    CL_REALTIME void deviceLostAt(int64_t counterTicks) override;

    // Set by the input core while input is up; tick calls it on any thread.
    std::atomic<InputTicker*> inputTicker{nullptr};
};

}  // namespace cl
