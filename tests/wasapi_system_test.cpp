// The WASAPI output of this build on the real system (Windows, or Wine):
// what the open settles for. Elsewhere the build has no WASAPI.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

#include "audio/audio_wasapi.h"
#include "fakes/engine_fixture.h"
#include "fakes/eventually.h"
#include "platform/counter.h"

namespace cl::test {
namespace {

using WasapiSystemTest = EngineTest;

TEST_F(WasapiSystemTest, OpensWithAFillTargetWithinTheBuffer) {
#ifndef _WIN32
    GTEST_SKIP() << "no WASAPI in this build";
#else
    const auto& provider = static_cast<const WasapiProvider&>(*engine_.providers.find(kWasapiProvider));
    for (bool exclusive : {false, true}) {
        float exclusiveMs = 0, sharedMs = 0;
        ProviderInitArgs args;
        args.exclusive = exclusive;
        args.exclusiveDefaultMs = &exclusiveMs;
        args.sharedDefaultMs = &sharedMs;
        ASSERT_TRUE(initAudio(engine_, kWasapiProvider, args));
        const uint32_t fillTarget = provider.state().fillTarget;
        std::printf("%s: fill target %u frames (%.2f ms), shared default %.1f ms, exclusive default %.1f ms\n",
                    exclusive ? "exclusive" : "shared", fillTarget, fillTarget * 1000.0 / engine_.output.frameRate(),
                    sharedMs, exclusiveMs);
        EXPECT_GT(fillTarget, 0u);
        freeAudio(engine_);
    }
#endif
}

// Where the audio thread says the device is, as the engine hears it: the
// newest report and how far the stream had been written by then. Written
// on the audio thread, read on this one.
struct WatchingHost : ProviderHost {
    explicit WatchingHost(Engine& engine) : engine(engine) {}
    Logger& logger() override { return engine.log; }
    bool setOutputFormat(SampleFormat format, uint32_t frameRate, uint32_t channels) override {
        return engine.setOutputFormat(format, frameRate, channels);
    }
    uint32_t renderPeriod(uint8_t* buffer, uint32_t frames, int64_t streamFrame) override {
        written.store(streamFrame + frames, std::memory_order_relaxed);
        return engine.renderPeriod(buffer, frames, streamFrame);
    }
    void devicePlayedAt(int64_t streamFrame, int64_t counterTicks) override {
        // A report comes before its wake's render: what was written then.
        // Release stores: a reader that sees any of them sees the count
        // they follow, and finds it changed when it looks again.
        reports.fetch_add(1, std::memory_order_relaxed);
        writtenAtReport.store(written.load(std::memory_order_relaxed), std::memory_order_release);
        frame.store(streamFrame, std::memory_order_release);
        ticks.store(counterTicks, std::memory_order_release);
        reports.fetch_add(1, std::memory_order_release);
    }
    void deviceLostAt(int64_t) override {}

    struct Report {
        int64_t reports, frame, ticks, written;
    };
    // The count is odd while a report is written: a copy taken while it was
    // even and unchanged is one wake's whole report.
    Report latest() const {
        for (;;) {
            const int64_t before = reports.load(std::memory_order_acquire);
            const Report report{before / 2, frame.load(std::memory_order_acquire),
                                ticks.load(std::memory_order_acquire), writtenAtReport.load(std::memory_order_acquire)};
            if (before % 2 == 0 && reports.load(std::memory_order_relaxed) == before) return report;
        }
    }

    Engine& engine;
    std::atomic<int64_t> written{0}, writtenAtReport{0}, frame{0}, ticks{0}, reports{0};
};

// The device's clock moves with what it plays: its reports come in, their
// frames and counter values rise, and the device never reports playing a
// frame the engine has not yet released to it, nor lags it by more than
// the buffer and the device's own latency.
TEST_F(WasapiSystemTest, DevicePositionReportsFollowThePlayedStream) {
#ifndef _WIN32
    GTEST_SKIP() << "no WASAPI in this build";
#else
    auto& provider = static_cast<WasapiProvider&>(*engine_.providers.find(kWasapiProvider));
    for (bool exclusive : {false, true}) {
        WatchingHost host(engine_);
        ProviderInitArgs args;
        args.exclusive = exclusive;
        ASSERT_TRUE(provider.Init(host, args));
        ASSERT_TRUE(provider.state().audioClock) << "Wine's client offers IAudioClock";
        ASSERT_TRUE(eventually([&] { return host.latest().frame > 0; }));
        const WatchingHost::Report first = host.latest();
        ASSERT_TRUE(eventually([&] { return host.latest().frame >= first.frame + 4800; }));
        const WatchingHost::Report later = host.latest();
        const OutputFigures figures = provider.GetOutputInfo();
        std::printf("%s: reports %lld -> %lld, frame %lld -> %lld, counter %+.1f ms, written %lld; stream latency %u\n",
                    exclusive ? "exclusive" : "shared", static_cast<long long>(first.reports),
                    static_cast<long long>(later.reports), static_cast<long long>(first.frame),
                    static_cast<long long>(later.frame),
                    (later.ticks - first.ticks) * 1000.0 / platform::counterFrequency(),
                    static_cast<long long>(later.written), figures.streamLatencyFrames);
        EXPECT_GT(later.reports, first.reports);
        EXPECT_GT(later.ticks, first.ticks);
        EXPECT_LE(later.frame, later.written);
        EXPECT_LE(later.written - later.frame,
                  int64_t{figures.fillTargetFrames} + figures.streamLatencyFrames + figures.devicePeriodFrames);
        provider.Shutdown();
    }
#endif
}

}  // namespace
}  // namespace cl::test
