// The library's engine at its end, with the WASAPI output open over the
// scripted device: a game that unloads the library has the output closed and
// everything released; at process exit nothing of the output is touched (no
// join, no timer kill, no Release: the device's Stop inside a Release waits
// for a lock an ended thread may hold).
#include <gmock/gmock.h>

#include <memory>
#include <new>

#include "api/left_at_process_exit.h"
#include "audio/audio_wasapi.h"
#include "audio/null_provider.h"
#include "engine/audio_init.h"
#include "engine/engine.h"
#include "fakes/fake_audio_platform.h"
#include "fakes/log_capture.h"

namespace cl::test {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

bool exiting = false;
bool processExiting() { return exiting; }

using LibraryEngine = LeftAtProcessExit<Engine>;

class LibraryEngineEndTest : public ::testing::Test {
protected:
    LibraryEngineEndTest() {
        holder_ = ::new (static_cast<void*>(place_)) LibraryEngine(processExiting, makeRegistry(), &LogCapture::sink);
        engine_ = &holder_->get();
    }
    ~LibraryEngineEndTest() override {
        exiting = false;
        if (!ended_) holder_->~LibraryEngine();
    }

    // Output open, the audio thread made (its body never runs here).
    void openOutput() {
        ASSERT_TRUE(initAudio(*engine_, kWasapiProvider, {}));
        fake_.clearCalls();
    }
    // What the library's unload does to its engine; the holder's storage stays.
    void endLibrary(bool processIsExiting) {
        exiting = processIsExiting;
        ended_ = true;
        holder_->~LibraryEngine();
    }

    FakeAudioPlatform fake_;  // outlives the engine
    LogCapture log_;
    alignas(LibraryEngine) unsigned char place_[sizeof(LibraryEngine)];
    LibraryEngine* holder_ = nullptr;
    Engine* engine_ = nullptr;
    bool ended_ = false;

private:
    ProviderRegistry makeRegistry() {
        ProviderRegistry registry;
        registry.add(kNullProvider, std::make_unique<NullProvider>());
        registry.add(kWasapiProvider, std::make_unique<WasapiProvider>(fake_));
        return registry;
    }
};

TEST_F(LibraryEngineEndTest, UnloadClosesTheOpenOutputAndReleasesEverything) {
    openOutput();
    endLibrary(false);
    EXPECT_THAT(fake_.calls(), ElementsAre("WaitForSingleObject(Thread)", "Release(Thread)", "timeKillEvent(7)",
                                           "Release(TimerEvent)", "UnregisterEndpointNotificationCallback",
                                           "Release(DeviceEnumerator)", "Release(AudioClock)", "Release(RenderClient)",
                                           "Release(AudioClient3)", "Release(EndpointVolume)", "timeEndPeriod(1)"));
    EXPECT_EQ(fake_.liveObjects(), 0);
}

TEST_F(LibraryEngineEndTest, ProcessExitLeavesTheOpenOutputUntouched) {
    openOutput();
    const int live = fake_.liveObjects();
    endLibrary(true);
    EXPECT_THAT(fake_.calls(), IsEmpty());
    EXPECT_EQ(fake_.liveObjects(), live);

    // The engine is whole still: the test's own teardown closes it as an unload would.
    EXPECT_TRUE(engine_->audio.audioInitialised.load());
    engine_->~Engine();
    EXPECT_EQ(fake_.liveObjects(), 0);
}

}  // namespace
}  // namespace cl::test
