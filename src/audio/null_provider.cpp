#include "audio/null_provider.h"

namespace cl {

bool NullProvider::Init(ProviderHost& host, const ProviderInitArgs& args) {
    return host.setOutputFormat(SampleFormat::Pcm16, args.frameRate, 2);
}

}  // namespace cl
