#include "audio/null_provider.h"

namespace cl {

namespace {
constexpr SampleFormat kNullFormat = SampleFormat::Pcm16;
constexpr uint32_t kNullChannels = 2;
}  // namespace

bool NullProvider::Init(ProviderHost& host, const ProviderInitArgs& args) {
    if (!host.setOutputFormat(kNullFormat, args.frameRate, kNullChannels)) return false;
    frameRate_ = args.frameRate;
    return true;
}

OutputFigures NullProvider::GetOutputInfo() const {
    OutputFigures figures;
    figures.format = kNullFormat;
    figures.frameRate = frameRate_;
    figures.channels = kNullChannels;
    return figures;
}

}  // namespace cl
