#pragma once
// The input providers of a real library: default (0), null (4), polling (5).
#include "input/input_provider.h"
#include "platform/input_platform.h"

namespace cl {

// The providers keep references into platform, which must outlive them.
InputProviderRegistry defaultInputProviders(platform::InputPlatform& platform);

}  // namespace cl
