#include "core/engine.h"

#include <utility>

namespace cl {

Engine::Engine(ProviderRegistry registry, DebugSink debugSink, uint32_t firstSoundId)
    : log(debugSink), providers(std::move(registry)), sounds(firstSoundId) {
    providers.attachAll(*this);
}

// An engine torn down with output open still closes its provider first, so
// no audio thread renders into freed records. The library's own engine is
// never torn down at process exit (api/global_engine.cpp).
Engine::~Engine() {
    if (audio.audioInitialised.load(std::memory_order_relaxed)) currentProvider().Shutdown();
}

ProviderOps& Engine::currentProvider() const {
    // currentProviderId only ever takes registered numbers.
    return *providers.find(audio.currentProviderId.load(std::memory_order_relaxed));
}

bool Engine::isMainThread() const {
    const uint32_t main = audio.mainThreadId.load(std::memory_order_relaxed);
    return main != 0 && main == platform::currentThreadId();
}

bool requireMainThread(Engine& engine, const char* operation) {
    if (engine.isMainThread()) return true;
    engine.log.message(3, "[CL] [tid=%4x] %s must be called from the main thread\n", tid(), operation);
    return false;
}

}  // namespace cl
