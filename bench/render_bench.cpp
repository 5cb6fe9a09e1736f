// Cost of the mixer's render per output frame: 48000 Hz, 16-bit stereo,
// 512-frame blocks, 4800-frame looping sounds, clock running, for (loaded
// sounds, playing sounds) pairs. Each pair is measured three ways in one
// process: the library's render on its portable (SSE2) path, on its AVX2
// path when the CPU has it, and the frame-by-frame oracle of the tests.
// Run with --benchmark_enable_random_interleaving=true --benchmark_repetitions=3
// so the three are interleaved and the machine's drift hits them alike.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "core/output_format.h"
#include "engine/engine.h"
#include "mixer/mix_kernel.h"
#include "mixer/render.h"
#include "mixer/voice_params.h"
#include "oracle/frame_major_render.h"
#include "sound/loading.h"
#include "sound/output_change.h"
#include "sound/playback.h"

namespace {

void discardLog(const char*) {}

enum class Renderer { Portable, Avx2, Oracle };

std::unique_ptr<cl::Engine> engineWith(uint32_t loaded, uint32_t playing) {
    auto engine = std::make_unique<cl::Engine>(cl::defaultProviderRegistry(), discardLog);
    cl::setOutputFormat(*engine, cl::SampleFormat::Pcm16, 48000, 2);
    std::vector<float> samples(2 * 4800);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(i % 200) / 400.0f - 0.25f;
    for (uint32_t i = 0; i < loaded; ++i) {
        const int32_t id = cl::loadFloat(*engine, samples.data(), static_cast<uint32_t>(samples.size()), 2, 48000,
                                         i % 4, 1.0f, 0.0f, false, nullptr);
        if (i < playing) {
            cl::setLoop(*engine, static_cast<uint32_t>(id), true);
            cl::playFrom(*engine, static_cast<uint32_t>(id), 0.0);
        }
    }
    engine->clock.clockFrame = 0;  // a running clock, as in a game
    return engine;
}

void BM_Render(benchmark::State& state, Renderer renderer) {
    const auto loaded = static_cast<uint32_t>(state.range(0));
    const auto playing = static_cast<uint32_t>(state.range(1));
    if (renderer == Renderer::Avx2 && !cl::cpuSupports(cl::MixPath::Avx2)) {
        state.SkipWithError("no AVX2 on this CPU");
        return;
    }
    cl::useMixPath(renderer == Renderer::Avx2 ? cl::MixPath::Avx2 : cl::MixPath::Portable);
    const auto engine = engineWith(loaded, playing);

    constexpr uint32_t kBlock = 512;
    std::vector<uint8_t> out(kBlock * 4);
    for (auto _ : state) {
        uint8_t* next = nullptr;
        uint32_t done = 0;
        if (renderer == Renderer::Oracle) {
            cl::test::oracleRenderBuffer(*engine, out.data(), kBlock, &next, &done);
        } else {
            cl::renderBuffer(*engine, out.data(), kBlock, &next, &done);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    // Seconds of CPU per output frame and per voice-frame (shown with an SI
    // prefix: 87n = 87 ns).
    state.counters["per_frame"] =
        benchmark::Counter(kBlock, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    if (playing > 0) {
        state.counters["per_voice_frame"] =
            benchmark::Counter(static_cast<double>(kBlock) * playing,
                               benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    }
}

void pairs(benchmark::internal::Benchmark* benchmark) {
    benchmark->Args({1, 0})->Args({16, 16})->Args({1024, 0})->Args({1024, 16})->Args({1024, 256})->Args({1024, 1024});
}

BENCHMARK_CAPTURE(BM_Render, portable, Renderer::Portable)->Apply(pairs);
BENCHMARK_CAPTURE(BM_Render, avx2, Renderer::Avx2)->Apply(pairs);
BENCHMARK_CAPTURE(BM_Render, oracle, Renderer::Oracle)->Apply(pairs);

}  // namespace

BENCHMARK_MAIN();
