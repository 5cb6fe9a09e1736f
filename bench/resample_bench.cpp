// Speed of the native build's sample rate conversion (provider 2's Resample,
// libsoxr): one minute of stereo per iteration, for common rate pairs.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "engine/engine.h"
#include "sound/sample_memory.h"

namespace {

void discardLog(const char*) {}

void BM_ResampleOneMinute(benchmark::State& state) {
    const auto from = static_cast<uint32_t>(state.range(0));
    const auto to = static_cast<uint32_t>(state.range(1));
    cl::Engine engine(cl::defaultProviderRegistry(), discardLog);
    cl::ProviderOps& provider = *engine.providers.find(cl::kWasapiProvider);
    std::vector<float> samples(2 * 60 * from);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = 0.5f * std::sin(0.001f * static_cast<float>(i));
    for (auto _ : state) {
        float* out = nullptr;
        uint32_t count = 0;
        provider.Resample(samples.data(), static_cast<uint32_t>(samples.size()), &out, &count, from, to);
        benchmark::DoNotOptimize(out);
        cl::freeSamples(out);
    }
    // Seconds of sound converted per second of work.
    state.counters["x_realtime"] =
        benchmark::Counter(60.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ResampleOneMinute)
    ->Args({44100, 48000})
    ->Args({48000, 44100})
    ->Args({22050, 48000})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
