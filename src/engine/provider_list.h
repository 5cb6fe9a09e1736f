#pragma once
#include "core/provider.h"

namespace cl {

// The registry of a real library: the null provider (1) and WASAPI (2).
ProviderRegistry defaultProviderRegistry();

}  // namespace cl
