#include "core/provider.h"

namespace cl {

void ProviderRegistry::add(int32_t number, std::unique_ptr<ProviderOps> provider) {
    providers_[number] = std::move(provider);
}

ProviderOps* ProviderRegistry::find(int32_t number) const {
    auto found = providers_.find(number);
    return found == providers_.end() ? nullptr : found->second.get();
}

void ProviderRegistry::attachAll(Logger& log) {
    for (auto& [number, provider] : providers_) provider->attach(log);
}

}  // namespace cl
