// The audio providers of a real library, by number. Here, above the rooms,
// since it names their providers.
#include "engine/provider_list.h"

#include "audio/audio_wasapi.h"
#include "audio/null_provider.h"

namespace cl {

ProviderRegistry defaultProviderRegistry() {
    ProviderRegistry registry;
    registry.add(kNullProvider, std::make_unique<NullProvider>());
    registry.add(kWasapiProvider, std::make_unique<WasapiProvider>());
    return registry;
}

}  // namespace cl
