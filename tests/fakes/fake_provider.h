#pragma once
// A scriptable audio provider: opens with a chosen format and converts rates
// by nearest-frame picking, so conversions are visible in tests.
#include <atomic>
#include <stdexcept>

#include "core/output_format.h"
#include "core/provider.h"
#include "sound/sample_memory.h"

namespace cl::test {

class FakeProvider final : public ProviderOps {
public:
    SampleFormat format = SampleFormat::Pcm16;
    uint32_t channels = 2;
    bool resamples = true;
    bool resampleThrows = false;
    bool resampleEmpty = false;  // converts every sound to no frames
    std::atomic<int> resampleCalls{0};
    int shutdownCalls = 0;
    int tickCalls = 0;
    bool needsReinit = false;
    uint32_t frameRate = 0;  // of the last Init

    bool Init(ProviderHost& host, const ProviderInitArgs& args) override {
        frameRate = args.frameRate;
        return host.setOutputFormat(format, args.frameRate, channels);
    }
    void Shutdown() override { ++shutdownCalls; }
    void Resample(const float* source, uint32_t sourceCount, float** destination, uint32_t* destinationCount,
                  uint32_t sourceRate, uint32_t destinationRate) override {
        ++resampleCalls;
        if (resampleThrows) throw std::runtime_error("resampler failed");
        if (!resamples) return;
        const uint64_t sourceFrames = sourceCount / 2;
        const uint64_t frames = resampleEmpty ? 0 : sourceFrames * destinationRate / sourceRate;
        float* out = allocateSamples(frames * 2);
        if (out == nullptr) throw std::bad_alloc();
        for (uint64_t i = 0; i < frames; ++i) {
            const uint64_t from = i * sourceRate / destinationRate;
            out[2 * i] = source[2 * from];
            out[2 * i + 1] = source[2 * from + 1];
        }
        *destination = out;
        *destinationCount = static_cast<uint32_t>(frames * 2);
    }
    bool EnumerateDevices(DeviceCallback) override { return true; }
    void Tick() override { ++tickCalls; }
    bool NeedsReinit() override { return needsReinit; }
    OutputFigures GetOutputInfo() const override {
        OutputFigures figures;
        figures.format = format;
        figures.frameRate = frameRate;
        figures.channels = channels;
        return figures;
    }
};

}  // namespace cl::test
