// The audio providers of a real library, by number: the null provider (1)
// and WASAPI (2). Declared in core/provider.h beside the registry; defined
// here, above the subsystems, since it names one of them.
#include "audio/audio_wasapi.h"
#include "core/null_provider.h"
#include "core/provider.h"

namespace cl {

ProviderRegistry defaultProviderRegistry() {
    ProviderRegistry registry;
    registry.add(kNullProvider, std::make_unique<NullProvider>());
    registry.add(kWasapiProvider, std::make_unique<WasapiProvider>());
    return registry;
}

}  // namespace cl
