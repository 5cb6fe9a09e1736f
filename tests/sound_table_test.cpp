#include <gtest/gtest.h>

#include "core/log.h"
#include "fakes/log_capture.h"
#include "sound/sound_table.h"

namespace cl {
namespace {

class SoundTableTest : public ::testing::Test {
protected:
    int32_t add(SoundTable& table) {
        auto record = std::make_unique<SoundRecord>();
        AddRefusal refusal = AddRefusal::None;
        const int32_t id = table.addSound(record, refusal);
        logAddRefusal(log, refusal);
        return id;
    }
    void unloadAll(SoundTable& table, uint32_t first, uint32_t count) {
        for (uint32_t id = first; id < first + count; ++id) table.lookupSound(id)->unloaded = 1;
    }
    test::LogCapture capture;
    Logger log{&test::LogCapture::sink};
};

TEST_F(SoundTableTest, IdsIncreaseAndAreNeverReused) {
    SoundTable table;
    EXPECT_EQ(add(table), 0);
    EXPECT_EQ(add(table), 1);
    EXPECT_EQ(add(table), 2);
    unloadAll(table, 0, 3);
    table.releaseUnloadedSounds();
    EXPECT_EQ(table.soundCount(), 0u);
    EXPECT_EQ(add(table), 3);
    for (uint32_t gone : {0u, 1u, 2u}) EXPECT_EQ(table.lookupSound(gone), nullptr);
    EXPECT_NE(table.lookupSound(3), nullptr);
}

TEST_F(SoundTableTest, ReleaseWaitsUntilEverySoundIsUnloaded) {
    SoundTable table;
    add(table);
    add(table);
    table.lookupSound(0)->unloaded = 1;
    EXPECT_EQ(table.lookupSound(0), nullptr);  // absent at once
    table.releaseUnloadedSounds();
    EXPECT_EQ(table.soundCount(), 2u);  // nothing freed while sound 1 is loaded
    EXPECT_NE(table.lookupSound(1), nullptr);
}

TEST_F(SoundTableTest, CapacityCountsUnloadedRecords) {
    SoundTable table;
    for (uint32_t i = 0; i < SoundTable::MAX_SOUNDS; ++i) ASSERT_EQ(add(table), static_cast<int32_t>(i));
    unloadAll(table, 0, 10);
    EXPECT_EQ(add(table), -1);
    EXPECT_TRUE(capture.contains("MAX_SOUNDS has been exceeded; please increase and recompile"));
}

TEST_F(SoundTableTest, LookupOutsideTheTableFindsNothing) {
    SoundTable table(100);  // ids start at 100, as after earlier releases
    add(table);
    add(table);
    for (uint32_t id : {0u, 99u, 102u, UINT32_MAX}) EXPECT_EQ(table.lookupSound(id), nullptr) << id;
    EXPECT_NE(table.lookupSound(101), nullptr);
}

TEST_F(SoundTableTest, IdsStopBeforeTheFailureValue) {
    SoundTable table(UINT32_MAX - 2);
    EXPECT_EQ(static_cast<uint32_t>(add(table)), UINT32_MAX - 2);
    EXPECT_EQ(static_cast<uint32_t>(add(table)), UINT32_MAX - 1);
    EXPECT_EQ(add(table), -1);  // UINT32_MAX would read as a failed load
    EXPECT_TRUE(capture.contains("Sound ids are exhausted; no further sound can be loaded"));
}

}  // namespace
}  // namespace cl
