#include "audio/audio_wasapi.h"
#include "core/null_provider.h"
#include "core/provider.h"

namespace cl {

void ProviderRegistry::add(int32_t number, std::unique_ptr<ProviderOps> provider) {
    providers_[number] = std::move(provider);
}

ProviderOps* ProviderRegistry::find(int32_t number) const {
    auto found = providers_.find(number);
    return found == providers_.end() ? nullptr : found->second.get();
}

void ProviderRegistry::attachAll(Engine& engine) {
    for (auto& [number, provider] : providers_) provider->attach(engine);
}

ProviderRegistry defaultProviderRegistry() {
    ProviderRegistry registry;
    registry.add(kNullProvider, std::make_unique<NullProvider>());
    registry.add(kWasapiProvider, std::make_unique<WasapiProvider>());
    return registry;
}

}  // namespace cl
