// Input latency as a player feels it: the time from SendInput of a key press
// to the game's press callback, for the hooks with safe input off and on
// and for the polling provider. A Windows program (run it under Wine, or on
// Windows); not a test. Usage: input_latency_bench [presses per mode]
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "input/input_core.h"
#include "input/input_registry.h"
#include "input/polling_input.h"
#include "platform/input_platform.h"
#include "platform/thread.h"
#include "send_key.h"

namespace {

std::atomic<int64_t> pressTicks{0};
std::atomic<int> presses{0};
std::atomic<int> releases{0};

int64_t now() {
    LARGE_INTEGER ticks;
    QueryPerformanceCounter(&ticks);
    return ticks.QuadPart;
}

void onPress(uint32_t, uint32_t) {
    pressTicks.store(now(), std::memory_order_relaxed);
    presses.fetch_add(1, std::memory_order_release);
}
void onRelease(uint32_t, uint32_t) { releases.fetch_add(1, std::memory_order_release); }

// Spins until counter passes `before`, for at most a second.
bool awaitCount(const std::atomic<int>& counter, int before, double ticksPerMs) {
    const int64_t deadline = now() + static_cast<int64_t>(1000 * ticksPerMs);
    while (counter.load(std::memory_order_acquire) == before) {
        if (now() > deadline) return false;
    }
    return true;
}

void measure(const char* name, cl::InputCore& core, bool safeInput, int count, double ticksPerMs) {
    if (!core.initInput(
            {.focused = true, .onPress = onPress, .onRelease = onRelease, .disableSafeInput = !safeInput})) {
        std::printf("| %-28s | init failed |\n", name);
        return;
    }
    if (safeInput) core.unlockInput();  // the game holds no lock: the dispatcher delivers at once
    std::vector<double> latencies;
    int missed = 0;
    for (int i = 0; i < count; ++i) {
        const int pressesBefore = presses.load();
        const int releasesBefore = releases.load();
        const int64_t sent = now();
        bench::sendKey('J', false);
        if (awaitCount(presses, pressesBefore, ticksPerMs)) {
            latencies.push_back((pressTicks.load() - sent) / ticksPerMs);
        } else {
            missed++;
        }
        bench::sendKey('J', true);
        if (!awaitCount(releases, releasesBefore, ticksPerMs)) missed++;
    }
    core.freeInput();
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double quantile) {
        return latencies.empty() ? 0.0 : latencies[static_cast<size_t>(quantile * (latencies.size() - 1))];
    };
    std::printf("| %-28s | %7.3f | %7.3f | %7.3f | %4d |\n", name, at(0.5), at(0.99),
                latencies.empty() ? 0.0 : latencies.back(), missed);
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const double ticksPerMs = frequency.QuadPart / 1000.0;

    cl::Logger log(cl::platform::debugOutput);
    cl::platform::InputPlatform platform = cl::platform::makeInputPlatform();
    cl::InputCore hooks(log, cl::defaultInputProviders(platform));
    // initinput cannot select the polling provider on this platform (its
    // pairing asks for an absent controller provider): registered as 0 here.
    cl::InputProviderRegistry pollingOnly;
    pollingOnly.add(cl::kDefaultInput, std::make_unique<cl::PollingInput>(*platform.polling, *platform.windows));
    cl::InputCore polling(log, std::move(pollingOnly));

    std::printf("%d presses per mode; milliseconds from SendInput to the press callback\n\n", count);
    std::printf("| %-28s | %7s | %7s | %7s | %4s |\n", "path", "median", "p99", "max", "lost");
    std::printf("|------------------------------|---------|---------|---------|------|\n");
    measure("hooks, safe input off", hooks, false, count, ticksPerMs);
    measure("hooks, safe input on", hooks, true, count, ticksPerMs);
    measure("polling, safe input off", polling, false, count, ticksPerMs);
    return 0;
}
