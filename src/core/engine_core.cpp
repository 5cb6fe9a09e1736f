#include "core/engine_core.h"

#include <utility>

namespace cl {

EngineCore::EngineCore(ProviderRegistry registry, DebugSink debugSink)
    : log(debugSink), providers(std::move(registry)) {}

ProviderOps& EngineCore::currentProvider() const {
    // currentProviderId only ever takes registered numbers.
    return *providers.find(audio.currentProviderId.load(std::memory_order_relaxed));
}

bool EngineCore::isMainThread() const {
    const uint32_t main = audio.mainThreadId.load(std::memory_order_relaxed);
    return main != 0 && main == platform::currentThreadId();
}

bool requireMainThread(EngineCore& engine, const char* operation) {
    if (engine.isMainThread()) return true;
    engine.log.message(3, "[CL] [tid=%4x] %s must be called from the main thread\n", tid(), operation);
    return false;
}

}  // namespace cl
