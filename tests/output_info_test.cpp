// getoutputinfo through the engine: what the null output answers, how far
// a caller's size is filled, and the refusals.
#include <gmock/gmock.h>

#include <cstring>
#include <thread>

#include "engine/output_info.h"
#include "fakes/engine_fixture.h"

namespace cl::test {
namespace {

using testing::ElementsAre;

using OutputInfoTest = EngineTest;

constexpr uint8_t kUntouched = 0xAB;

// A caller's struct as bytes, larger than this version's, so writes past
// what it was told show.
struct CallerBuffer {
    alignas(8) uint8_t bytes[96];
    CallerBuffer(uint32_t size) {
        std::memset(bytes, kUntouched, sizeof bytes);
        std::memcpy(bytes, &size, sizeof size);
    }
    CantrelleOutputInfo* info() { return reinterpret_cast<CantrelleOutputInfo*>(bytes); }
    uint32_t size() const {
        uint32_t size;
        std::memcpy(&size, bytes, sizeof size);
        return size;
    }
    size_t firstUntouched() const {
        size_t at = sizeof bytes;
        while (at > 0 && bytes[at - 1] == kUntouched) --at;
        return at;
    }
};

TEST_F(OutputInfoTest, TheNullOutputReportsItsFormatAndNoDevice) {
    ASSERT_TRUE(initAudio(engine_, kNullProvider, ProviderInitArgs{.frameRate = 44100}));
    CantrelleOutputInfo info{};
    std::memset(&info, kUntouched, sizeof info);
    info.size = sizeof info;
    ASSERT_TRUE(getOutputInfo(engine_, &info));
    EXPECT_EQ(info.size, sizeof info);
    EXPECT_EQ(info.provider, 1u);
    EXPECT_EQ(info.sampleFormat, 2u);
    EXPECT_EQ(info.frameRate, 44100u);
    EXPECT_EQ(info.channels, 2u);
    EXPECT_EQ(info.exclusive, 0u);
    EXPECT_EQ(info.devicePeriodFrames, 0u);
    EXPECT_EQ(info.bufferFrames, 0u);
    EXPECT_EQ(info.fillTargetFrames, 0u);
    EXPECT_EQ(info.latencyFrames, 0u);
    EXPECT_EQ(info.underruns, 0u);
    EXPECT_TRUE(log_.lines().empty());
}

// The size is cut back to the last whole field within it; nothing past it
// is written, and the caller learns how far the library wrote.
TEST_F(OutputInfoTest, OnlyWholeFieldsWithinTheCallersSizeAreFilled) {
    openFake(96000, SampleFormat::Float32, 6);
    struct Case {
        uint32_t size;
        uint32_t filled;
    };
    const uint32_t whole = sizeof(CantrelleOutputInfo);
    for (Case c : {Case{4, 4}, Case{7, 4}, Case{8, 8}, Case{20, 20}, Case{43, 40}, Case{47, 40}, Case{whole, whole},
                   Case{whole + 16, whole}, Case{UINT32_MAX, whole}}) {
        // Any size past this version's is a later caller's: it fits the buffer.
        CallerBuffer buffer(c.size);
        ASSERT_TRUE(getOutputInfo(engine_, buffer.info())) << c.size;
        EXPECT_EQ(buffer.size(), c.filled) << c.size;
        EXPECT_EQ(buffer.firstUntouched(), c.filled) << c.size;
        if (c.filled >= 20) {
            EXPECT_EQ(buffer.info()->provider, uint32_t(kFakeProvider));
            EXPECT_EQ(buffer.info()->sampleFormat, 6u);
            EXPECT_EQ(buffer.info()->frameRate, 96000u);
            EXPECT_EQ(buffer.info()->channels, 6u);
        }
    }
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(OutputInfoTest, RefusalsLogOneLineAndWriteNothing) {
    EXPECT_FALSE(getOutputInfo(engine_, nullptr));
    EXPECT_THAT(log_.takeBodies(), ElementsAre("Failed to get output info (info is null)"));

    // Before any output: there is no main thread yet.
    CallerBuffer fresh(sizeof(CantrelleOutputInfo));
    EXPECT_FALSE(getOutputInfo(engine_, fresh.info()));
    EXPECT_THAT(log_.takeBodies(), ElementsAre("GetOutputInfo must be called from the main thread"));
    EXPECT_EQ(fresh.firstUntouched(), 4u);

    openFake();
    for (uint32_t size : {0u, 3u}) {
        CallerBuffer small(size);
        EXPECT_FALSE(getOutputInfo(engine_, small.info()));
        EXPECT_THAT(log_.takeBodies(),
                    ElementsAre("Failed to get output info (size " + std::to_string(size) + " is too small)"));
        EXPECT_EQ(small.firstUntouched(), 4u);  // the size's own bytes
    }

    CallerBuffer other(sizeof(CantrelleOutputInfo));
    std::thread([&] { EXPECT_FALSE(getOutputInfo(engine_, other.info())); }).join();
    EXPECT_THAT(log_.takeBodies(), ElementsAre("GetOutputInfo must be called from the main thread"));
    EXPECT_EQ(other.firstUntouched(), 4u);

    freeAudio(engine_);
    CallerBuffer closed(sizeof(CantrelleOutputInfo));
    EXPECT_FALSE(getOutputInfo(engine_, closed.info()));
    EXPECT_THAT(log_.takeBodies(), ElementsAre("Failed to get output info (audio not initialised)"));
    EXPECT_EQ(closed.firstUntouched(), 4u);
}

}  // namespace
}  // namespace cl::test
