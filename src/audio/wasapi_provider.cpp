#include "audio/wasapi_provider.h"

#include "core/engine.h"

namespace cl {

bool WasapiProvider::Init(Engine& engine, const ProviderInitArgs&) {
    engine.log.message(3, "[CL] [tid=%4x] WASAPI output is not available in this build\n", tid());
    return false;
}

}  // namespace cl
