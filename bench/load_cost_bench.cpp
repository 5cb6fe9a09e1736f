// What one loadfloat costs a game, per minute of source audio (stereo
// floats), through the real library: libcantrelle.so (libsoxr converts)
// natively, Cantrelle.dll (Media Foundation converts) under Wine. Not a
// Google Benchmark program, so the same file builds for both:
//
//   cmake --preset bench && cmake --build --preset bench --target load_cost_bench
//   build/bench/bench/load_cost_bench [minutes] [repeats]
//
//   cmake --preset windows && cmake --build --preset windows --target load_cost_bench
//   scripts/wine-run.sh build/windows/load_cost_bench.exe [minutes] [repeats]
//
// Each case loads the same sound `repeats` times (unloading it in between)
// and reports the median, the fastest and the slowest load, in
// milliseconds per minute of source.
#ifdef _WIN32
#    include <windows.h>

#    include <mfapi.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cantrelle.h"

namespace {

void printLine(const char* line) { std::fputs(line, stderr); }

struct Case {
    const char* name;
    uint32_t frequency;
    float speed;
};

}  // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 1.0;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 5;
    if (!(minutes > 0.0) || repeats < 1) {
        std::fprintf(stderr, "usage: load_cost_bench [minutes > 0] [repeats >= 1]\n");
        return 2;
    }
#ifdef _WIN32
    // The game's part: COM on the loading thread, Media Foundation started.
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) || FAILED(MFStartup(MF_VERSION, MFSTARTUP_NOSOCKET))) {
        std::fprintf(stderr, "COM or Media Foundation failed to start\n");
        return 1;
    }
#endif
    setlogfunc(0, printLine);
    // Opening provider 2 makes this the main thread, so an unloaded sound is
    // freed at once after freeaudio, and leaves provider 2's converter as
    // the one loads use. Natively it cannot open (no WASAPI) and says so;
    // the converter is there all the same. The output rate stays 48000.
    if (initaudio(2, 48000, 0, 0.0f, 0, 0, nullptr, nullptr, nullptr, false)) freeaudio();

    const Case cases[] = {
        {"48000 Hz, speed 1 (copied, not converted)", 48000, 1.0f},
        {"44100 Hz -> 48000 Hz, speed 1", 44100, 1.0f},
        {"48000 Hz, speed 0.5 (-> 96000 Hz)", 48000, 0.5f},
        {"44100 Hz, speed 0.5 (-> 96000 Hz)", 44100, 0.5f},
    };
    std::printf("loadfloat, stereo float source, output 48000 Hz: ms per minute of source (%g min loaded, %d times)\n",
                minutes, repeats);
    std::printf("%-44s %10s %10s %10s\n", "case", "median", "fastest", "slowest");
    for (const Case& c : cases) {
        const auto frames = static_cast<uint32_t>(minutes * 60.0 * c.frequency);
        std::vector<float> samples(static_cast<size_t>(frames) * 2);
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = 0.5f * std::sin(0.0137f * static_cast<float>(i / 2));
        std::vector<double> perMinute;
        for (int r = 0; r < repeats; ++r) {
            const auto start = std::chrono::steady_clock::now();
            const int32_t id = loadfloat(samples.data(), static_cast<uint32_t>(samples.size()), 2, c.frequency, 0,
                                         c.speed, 0.0f, 0, "bench");
            const auto end = std::chrono::steady_clock::now();
            if (id < 0) {
                std::fprintf(stderr, "load failed: %s\n", c.name);
                return 1;
            }
            unload(static_cast<uint32_t>(id));
            perMinute.push_back(std::chrono::duration<double, std::milli>(end - start).count() / minutes);
        }
        std::sort(perMinute.begin(), perMinute.end());
        std::printf("%-44s %10.1f %10.1f %10.1f\n", c.name, perMinute[perMinute.size() / 2], perMinute.front(),
                    perMinute.back());
    }
#ifdef _WIN32
    MFShutdown();
    CoUninitialize();
#endif
    return 0;
}
