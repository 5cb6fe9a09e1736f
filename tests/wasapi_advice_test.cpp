// The calls the library leaves to the game: a thread without COM, or Media
// Foundation not started, fail with the usual lines, and then one more that
// says what to call. Other failures get no advice.
#include <gmock/gmock.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fakes/wasapi_fixture.h"
#include "sound/loading.h"
#include "sound/sound_record.h"

namespace cl::test {
namespace {

using testing::ElementsAre;

constexpr int32_t kNoCom = platform::kComNotInitialized;  // 0x800401F0
constexpr int32_t kNoMf = platform::kMfNotStarted;        // 0xC00D36B0
const std::string kComAdvice = "COM is not initialised on this thread: call CoInitializeEx on this thread first";
const std::string kMfAdvice = "Media Foundation is not started: call MFStartup before loading sounds at another rate";

class ServiceAdviceTest : public WasapiTest {
protected:
    int32_t loadTone(const char* name) {
        const std::vector<float> samples(882, 0.25f);
        return loadFloat(engine_, samples.data(), 882, 2, 44100, 0, 1.0f, 0.0f, false, name);
    }
};

TEST_F(ServiceAdviceTest, InitOnAThreadWithoutComSaysToCallCoInitializeEx) {
    fake_.failAlways("CoCreateInstance(MMDeviceEnumerator)", kNoCom);
    EXPECT_FALSE(init());
    EXPECT_THAT(log_.takeBodies(), ElementsAre(check(859, 0x800401f0), "Failed to initialise audio", kComAdvice));

    // Any other failure there, or a later init that fails otherwise, gets none.
    fake_.failAlways("CoCreateInstance(MMDeviceEnumerator)", platform::kFail);
    EXPECT_FALSE(init());
    EXPECT_THAT(log_.takeBodies(), ElementsAre(check(859, 0x80004005), "Failed to initialise audio"));
}

TEST_F(ServiceAdviceTest, ALoadWhoseConversionFindsNoComSaysToCallCoInitializeEx) {
    fake_.script("CoCreateInstance(Resampler)", {kNoCom});
    EXPECT_EQ(loadTone("tone"), -1);
    EXPECT_THAT(log_.takeBodies(), ElementsAre("Failed to load sound [tone] (Operation failed)", kComAdvice));
    EXPECT_EQ(fake_.liveObjects(), 0);
}

TEST_F(ServiceAdviceTest, ALoadWithoutMediaFoundationSaysToCallMFStartup) {
    for (const char* call : {"SetTypes", "ProcessInput", "ProcessOutput"}) {
        fake_.script(call, {kNoMf});
        EXPECT_EQ(loadTone("tone"), -1) << call;
        EXPECT_THAT(log_.takeBodies(), ElementsAre("Failed to load sound [tone] (Operation failed)", kMfAdvice))
            << call;
    }
    // Other failures keep their one line.
    fake_.script("ProcessInput", {platform::kFail});
    EXPECT_EQ(loadTone(nullptr), -1);
    EXPECT_THAT(log_.takeBodies(), ElementsAre("Failed to load sound [<unknown>] (Operation failed)"));
    EXPECT_EQ(loadTone("tone"), 0);
    EXPECT_TRUE(log_.takeBodies().empty());
}

// Opening at another rate reconverts every sound: the advice comes once,
// after every failure it explains.
TEST_F(ServiceAdviceTest, AReconversionWithoutMediaFoundationAdvisesOnceAfterItsFailures) {
    ASSERT_EQ(loadTone("a"), 0);
    ASSERT_EQ(loadTone("b"), 1);
    log_.clear();
    fake_.mixFormat = formatBytes(extensibleFormat(SampleFormat::Float32, 96000, 3));
    fake_.failAlways("ProcessInput", kNoMf);
    ASSERT_TRUE(init());
    std::vector<std::string> lines = log_.takeBodies();
    const auto first =
        std::find(lines.begin(), lines.end(), "Failed to convert sound 0 [a] for the output rate (Operation failed)");
    ASSERT_NE(first, lines.end()) << testing::PrintToString(lines);
    EXPECT_EQ(*(first + 1), "Failed to convert sound 1 [b] for the output rate (Operation failed)");
    EXPECT_EQ(*(first + 2), kMfAdvice);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kMfAdvice), 1);
    EXPECT_EQ(engine_.sounds.lookupSound(0)->data.load(), engine_.sounds.lookupSound(0)->sourceData);
}

}  // namespace
}  // namespace cl::test
