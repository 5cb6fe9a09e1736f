// The WASAPI output of this build on the real system (Windows, or Wine):
// what the open settles for. Elsewhere the build has no WASAPI.
#include <gtest/gtest.h>

#include <cstdio>

#include "audio/audio_wasapi.h"
#include "fakes/engine_fixture.h"
#include "fakes/eventually.h"

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

// The device's clock moves with what it plays: its reports come in, their
// frames and counter values rise, and the device never reports playing a
// frame the engine has not yet released to it, nor lags it by more than
// the buffer and the device's own latency.
TEST_F(WasapiSystemTest, DevicePositionReportsFollowThePlayedStream) {
#ifndef _WIN32
    GTEST_SKIP() << "no WASAPI in this build";
#else
    const auto& provider = static_cast<const WasapiProvider&>(*engine_.providers.find(kWasapiProvider));
    for (bool exclusive : {false, true}) {
        ProviderInitArgs args;
        args.exclusive = exclusive;
        ASSERT_TRUE(initAudio(engine_, kWasapiProvider, args));
        const WasapiState& state = provider.state();
        ASSERT_TRUE(state.audioClock) << "Wine's client offers IAudioClock";
        ASSERT_TRUE(eventually([&] { return state.devicePosition.read().frame > 0; }));
        const DevicePosition first = state.devicePosition.read();
        ASSERT_TRUE(eventually([&] { return state.devicePosition.read().frame >= first.frame + 4800; }));
        const DevicePosition later = state.devicePosition.read();
        const OutputFigures figures = provider.GetOutputInfo();
        std::printf("%s: reports %llu -> %llu, frame %llu -> %llu, counter %+.1f ms, written %llu; stream latency %u\n",
                    exclusive ? "exclusive" : "shared", static_cast<unsigned long long>(first.reports),
                    static_cast<unsigned long long>(later.reports), static_cast<unsigned long long>(first.frame),
                    static_cast<unsigned long long>(later.frame), (later.qpcTime - first.qpcTime) / 1e4,
                    static_cast<unsigned long long>(later.framesWritten), figures.streamLatencyFrames);
        EXPECT_GT(later.reports, first.reports);
        EXPECT_GT(later.qpcTime, first.qpcTime);
        EXPECT_LE(later.frame, later.framesWritten);
        EXPECT_LE(later.framesWritten - later.frame,
                  uint64_t{figures.fillTargetFrames} + figures.streamLatencyFrames + figures.devicePeriodFrames);
        freeAudio(engine_);
    }
#endif
}

}  // namespace
}  // namespace cl::test
