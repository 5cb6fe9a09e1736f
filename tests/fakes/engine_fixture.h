#pragma once
// A fresh engine per test, logging into a capture, with the real registry
// plus a FakeProvider under number 9.
#include <gtest/gtest.h>

#include <memory>

#include "engine/audio_init.h"
#include "engine/engine.h"
#include "fakes/fake_provider.h"
#include "fakes/log_capture.h"
#include "sound/output_change.h"

namespace cl::test {

inline constexpr int32_t kFakeProvider = 9;

class EngineTest : public ::testing::Test {
protected:
    EngineTest() : engine_(makeRegistry(), &LogCapture::sink) {}
    ~EngineTest() override { EXPECT_EQ(log_.renderLines(), 0) << "the render path logged"; }

    // Opens output through the fake provider on the calling thread.
    void openFake(uint32_t frameRate = 48000, SampleFormat format = SampleFormat::Pcm16, uint32_t channels = 2) {
        fake_->format = format;
        fake_->channels = channels;
        ASSERT_TRUE(initAudio(engine_, kFakeProvider, ProviderInitArgs{.frameRate = frameRate}));
    }

    bool logged(const std::string& text) const { return log_.contains(text); }

    LogCapture log_;
    FakeProvider* fake_ = nullptr;
    Engine engine_;

private:
    ProviderRegistry makeRegistry() {
        ProviderRegistry registry = defaultProviderRegistry();
        auto fake = std::make_unique<FakeProvider>();
        fake_ = fake.get();
        registry.add(kFakeProvider, std::move(fake));
        return registry;
    }
};

}  // namespace cl::test
