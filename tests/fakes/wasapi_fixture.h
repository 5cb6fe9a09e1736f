#pragma once
// An engine whose provider 2 is the WASAPI output over the scripted fake
// device, logging into a capture.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "audio/audio_wasapi.h"
#include "audio/null_provider.h"
#include "engine/audio_init.h"
#include "engine/engine.h"
#include "fakes/fake_audio_platform.h"
#include "fakes/log_capture.h"

namespace cl::test {

class WasapiTest : public ::testing::Test {
public:
    // "audio_wasapi@19d5a091:<number> failed with HRESULT <code>"
    static std::string check(int number, uint32_t code) {
        char text[96];
        std::snprintf(text, sizeof text, "audio_wasapi@19d5a091:%d failed with HRESULT %#x", number, code);
        return text;
    }

protected:
    WasapiTest() : engine_(makeRegistry(), &LogCapture::sink) {}
    ~WasapiTest() override { EXPECT_EQ(log_.renderLines(), 0) << "the render path logged"; }

    bool init(ProviderInitArgs args = {}) { return initAudio(engine_, kWasapiProvider, args); }
    bool logged(const std::string& text) const { return log_.contains(text); }
    FakeAudioPlatform fake_;  // outlives the engine, which may still shut the output down
    LogCapture log_;
    WasapiProvider* provider_ = nullptr;
    Engine engine_;

private:
    ProviderRegistry makeRegistry() {
        ProviderRegistry registry;
        registry.add(kNullProvider, std::make_unique<NullProvider>());
        auto provider = std::make_unique<WasapiProvider>(fake_);
        provider_ = provider.get();
        registry.add(kWasapiProvider, std::move(provider));
        return registry;
    }
};

}  // namespace cl::test
