#include "core/null_provider.h"

#include "mixer/output_format.h"

namespace cl {

bool NullProvider::Init(Engine& engine, const ProviderInitArgs& args) {
    return setOutputFormat(engine, SampleFormat::Pcm16, args.frameRate, 2);
}

}  // namespace cl
