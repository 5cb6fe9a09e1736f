// The WASAPI output of this build on the real system (Windows, or Wine):
// what the open settles for. Elsewhere the build has no WASAPI.
#include <gtest/gtest.h>

#include <cstdio>

#include "audio/audio_wasapi.h"
#include "fakes/engine_fixture.h"

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

}  // namespace
}  // namespace cl::test
