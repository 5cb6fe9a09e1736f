// Cost of the heard clock on each side: what the audio thread pays per
// render call and per device report, and what a reader pays per
// getheardclock. Counter values are scripted: 10 MHz, a report a
// millisecond, 480-frame periods at 48000 Hz.
#include <benchmark/benchmark.h>

#include "clock/heard_clock.h"

namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;

// A clock that has run a second, so the fit and the curve are full.
void runFor(cl::HeardClock& heard, int64_t& wake) {
    for (int i = 0; i < 1000; ++i, ++wake) {
        heard.reportDevicePosition(wake * 48 - 1440, wake * 10'000);
        if (wake % 10 == 0) heard.recordRender(wake * 48, wake * 48, true, 480);
    }
}

void BM_RecordRender(benchmark::State& state) {
    cl::HeardClock heard;
    heard.open(48000, kTicksPerSecond);
    int64_t wake = 1;
    runFor(heard, wake);
    int64_t stream = wake * 48;
    for (auto _ : state) {
        heard.recordRender(stream, stream, true, 480);  // continues the newest run
        stream += 480;
    }
}
BENCHMARK(BM_RecordRender);

void BM_ReportDevicePosition(benchmark::State& state) {
    cl::HeardClock heard;
    heard.open(48000, kTicksPerSecond);
    int64_t wake = 1;
    runFor(heard, wake);
    for (auto _ : state) {
        heard.reportDevicePosition(wake * 48 - 1440, wake * 10'000);
        ++wake;
    }
}
BENCHMARK(BM_ReportDevicePosition);

void BM_ClockSecondsAt(benchmark::State& state) {
    cl::HeardClock heard;
    heard.open(48000, kTicksPerSecond);
    int64_t wake = 1;
    runFor(heard, wake);
    int64_t t = (wake - 20) * 10'000;
    for (auto _ : state) benchmark::DoNotOptimize(heard.clockSecondsAt(t++));
}
BENCHMARK(BM_ClockSecondsAt);

}  // namespace

BENCHMARK_MAIN();
