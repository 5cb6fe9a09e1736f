#include "core/engine.h"

#include <utility>

namespace cl {

Engine::Engine(ProviderRegistry registry, DebugSink debugSink, uint32_t firstSoundId)
    : log(debugSink), providers(std::move(registry)), sounds(firstSoundId) {
    providers.attachAll(*this);
}

// An engine torn down with output open still closes its provider first, so
// no audio thread renders into freed records. Not at process exit: the
// audio thread is gone already, and releasing COM objects under the loader
// lock, perhaps after the game left COM, is what may hang or crash there.
// (The audio thread's reference keeps the library loaded while output is
// open, so process exit is the only way here with output open on Windows.)
Engine::~Engine() {
    if (audio.audioInitialised.load(std::memory_order_relaxed) && !platform::processIsExiting()) {
        currentProvider().Shutdown();
    }
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
