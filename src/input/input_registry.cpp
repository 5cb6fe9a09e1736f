#include "input/input_registry.h"

#include "input/default_input.h"
#include "input/polling_input.h"

namespace cl {

InputProviderRegistry defaultInputProviders(platform::InputPlatform& platform) {
    InputProviderRegistry registry;
    registry.add(kDefaultInput, std::make_unique<DefaultInput>(*platform.libraries, *platform.controllerSignals,
                                                               *platform.hooks, *platform.windows));
    registry.add(kNullInput, std::make_unique<NullInput>());
    registry.add(kPollingInput, std::make_unique<PollingInput>(*platform.polling, *platform.windows));
    return registry;
}

}  // namespace cl
