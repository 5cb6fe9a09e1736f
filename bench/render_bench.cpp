// Cost of the mixer's render per output frame: 48000 Hz, 16-bit stereo,
// 512-frame blocks, for (loaded sounds, playing sounds) pairs.
#include <benchmark/benchmark.h>

#include <vector>

#include "core/engine.h"
#include "mixer/output_format.h"
#include "mixer/render.h"
#include "mixer/voice_params.h"
#include "sound/loading.h"
#include "sound/playback.h"

namespace {

void discardLog(const char*) {}

void BM_RenderBuffer(benchmark::State& state) {
    const auto loaded = static_cast<uint32_t>(state.range(0));
    const auto playing = static_cast<uint32_t>(state.range(1));
    cl::Engine engine(cl::defaultProviderRegistry(), discardLog);
    cl::setOutputFormat(engine, cl::SampleFormat::Pcm16, 48000, 2);

    std::vector<float> samples(2 * 4800);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(i % 200) / 400.0f - 0.25f;
    for (uint32_t i = 0; i < loaded; ++i) {
        const int32_t id = cl::loadFloat(engine, samples.data(), static_cast<uint32_t>(samples.size()), 2, 48000, i % 4,
                                         1.0f, 0.0f, false, nullptr);
        if (i < playing) {
            cl::setLoop(engine, static_cast<uint32_t>(id), true);
            cl::playFrom(engine, static_cast<uint32_t>(id), 0.0);
        }
    }
    engine.clock.clockFrame = 0;  // a running clock, as in a game

    constexpr uint32_t kBlock = 512;
    std::vector<uint8_t> out(kBlock * 4);
    for (auto _ : state) {
        uint8_t* next = nullptr;
        uint32_t done = 0;
        cl::renderBuffer(engine, out.data(), kBlock, &next, &done);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    // Seconds of CPU per output frame (shown with an SI prefix: 87n = 87 ns).
    state.counters["per_frame"] =
        benchmark::Counter(kBlock, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_RenderBuffer)->Args({16, 16})->Args({1024, 16})->Args({1024, 256})->Args({1024, 1024});

}  // namespace

BENCHMARK_MAIN();
