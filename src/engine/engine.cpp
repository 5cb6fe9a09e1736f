#include "engine/engine.h"

#include <utility>

#include "mixer/render.h"
#include "platform/counter.h"
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

// Providers set the format in Init, before their audio thread exists: the
// heard clock's writer changes hands with no thread writing.
bool Engine::setOutputFormat(SampleFormat format, uint32_t frameRate, uint32_t channels) {
    if (!cl::setOutputFormat(*this, format, frameRate, channels)) return false;
    clock.heard.open(frameRate, platform::counterFrequency());
    return true;
}

uint32_t Engine::renderPeriod(uint8_t* buffer, uint32_t frames, int64_t streamFrame) {
    return cl::renderPeriod(*this, buffer, frames, streamFrame);
}

void Engine::devicePlayedAt(int64_t streamFrame, int64_t counterTicks) {
    clock.heard.reportDevicePosition(streamFrame, counterTicks);
}

void Engine::deviceLostAt(int64_t counterTicks) { clock.heard.deviceLost(counterTicks); }

}  // namespace cl
