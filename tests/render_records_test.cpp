// What each device period tells the heard clock: the clock frame its stream
// frames carry, whatever the mixer did with the clock during it.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "clock/clock.h"
#include "fakes/mixer_fixture.h"
#include "sound/scheduling.h"

namespace cl::test {
namespace {

struct RecordCase {
    std::string name;
    bool withSound;
    bool periodFirst;                   // a period of 1200 frames renders before `before`
    void (*before)(Engine&);            // after the clock starts at frame 48000
    std::optional<double> atFrame100;   // the clock frame that frame 100 of the period carries
    std::optional<double> atFrame1100;  // nothing: the engine clock stands in
};

class RenderRecordsTest : public MixerTest, public testing::WithParamInterface<RecordCase> {};

TEST_P(RenderRecordsTest, EachPeriodRecordsTheClockItsFramesCarry) {
    const RecordCase& c = GetParam();
    if (c.withSound) play(loadConstant(48000 * 3, 0.25f));
    startClockFrom(engine_, 1.0);
    const double start = c.periodFirst ? 1200.0 : 0.0;
    if (c.periodFirst) render(1200);
    c.before(engine_);
    render(1200);  // three mixer calls: 512, 512 and 176 frames
    const StreamRecords records = engine_.clock.heard.snapshot().records;
    EXPECT_EQ(records.clockFrameAt(start + 100.0), std::optional<double>(c.atFrame100));
    EXPECT_EQ(records.clockFrameAt(start + 1100.0), std::optional<double>(c.atFrame1100));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenderRecordsTest,
    testing::Values(
        RecordCase{"rendered", true, false, [](Engine&) {}, 48100, 49100},
        RecordCase{"noSoundLoadedTheClockRunsOn", false, false, [](Engine&) {}, 48100, 49100},
        RecordCase{"gameAudioPausedFrozen", true, false, [](Engine& e) { pauseGameAudio(e); }, 48000, 48000},
        RecordCase{"audioPausedHeld", true, false, [](Engine& e) { pauseAudio(e); }, 48000, 48000},
        RecordCase{"jumpedByStartClockFrom", true, true, [](Engine& e) { startClockFrom(e, 10.0); }, 480100, 481100},
        RecordCase{"stoppedHeldWhereItStood", true, true, [](Engine& e) { stopClock(e); }, 49200, 49200},
        RecordCase{"stoppedBeforeAnyPeriodHeldWhereItStood", true, false, [](Engine& e) { stopClock(e); }, 48000,
                   48000}),
    [](const testing::TestParamInfo<RecordCase>& info) { return info.param.name; });

}  // namespace
}  // namespace cl::test
