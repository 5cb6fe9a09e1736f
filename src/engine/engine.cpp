#include "engine/engine.h"

#include <utility>

#include "mixer/render.h"
#include "sound/output_change.h"

namespace cl {

Engine::Engine(ProviderRegistry registry, DebugSink debugSink, uint32_t firstSoundId)
    : MixerState(std::move(registry), debugSink, firstSoundId) {
    providers.attachAll(log);
}

// An engine torn down with output open still closes its provider first, so
// no audio thread renders into freed records. The library's own engine is
// never torn down at process exit (api/global_engine.cpp).
Engine::~Engine() {
    if (audio.audioInitialised.load(std::memory_order_relaxed)) currentProvider().Shutdown();
}

bool Engine::setOutputFormat(SampleFormat format, uint32_t frameRate, uint32_t channels) {
    return cl::setOutputFormat(*this, format, frameRate, channels);
}

uint32_t Engine::renderPeriod(uint8_t* buffer, uint32_t frames) { return cl::renderPeriod(*this, buffer, frames); }

}  // namespace cl
