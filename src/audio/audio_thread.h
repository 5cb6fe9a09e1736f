#pragma once
// The audio thread: raises its priority, fills the device buffer, starts the
// client and then tops the buffer up to fillTarget on every timer tick.
#include "audio/wasapi_state.h"
#include "core/provider.h"

namespace cl {

struct AudioThreadContext {
    ProviderHost& host;
    platform::AudioPlatform& platform;
    WasapiState& state;
};

// Runs until state.running is 0. Each wake reports the device's position,
// then steps.
void audioThreadMain(const AudioThreadContext& context);

// Tops the device buffer up once: asks the padding, renders the difference to
// fillTarget and releases it. A failing call is logged and skips the step;
// a lost device also sets deviceLost. Once the stream plays, an empty
// device buffer counts as an underrun.
CL_REALTIME void renderStep(const AudioThreadContext& context);

}  // namespace cl
