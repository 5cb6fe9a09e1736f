#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "core/log.h"

namespace cl {
namespace {

// Each receiver records what it got; plain functions, as the C interface needs.
std::vector<std::string> gotF, gotG, gotSink;
void receiverF(const char* line) { gotF.push_back(line); }
void receiverG(const char* line) { gotG.push_back(line); }
void debugSink(const char* line) { gotSink.push_back(line); }

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override { gotF.clear(), gotG.clear(), gotSink.clear(); }
    Logger log{debugSink};
};

TEST_F(LoggerTest, LinesWithoutReceiverGoToDebugOutputWithThreadPrefix) {
    log.message(3, "[CL] [tid=%4x] Audio not initialised\n", tid());
    ASSERT_EQ(gotSink.size(), 1u);
    char expected[64];
    std::snprintf(expected, sizeof expected, "[CL] [tid=%4x] Audio not initialised\n", tid());
    EXPECT_EQ(gotSink[0], expected);
}

TEST_F(LoggerTest, ReceiverServesItsLevelUpToTheNextReceiver) {
    log.setCallback(0, receiverF);
    log.setCallback(3, receiverG);
    for (int level = 0; level <= 5; ++level) log.message(level, "%d", level);
    EXPECT_EQ(gotF, (std::vector<std::string>{"0", "1", "2"}));
    EXPECT_EQ(gotG, (std::vector<std::string>{"3", "4", "5"}));
    EXPECT_TRUE(gotSink.empty());

    log.setCallback(3, nullptr);  // the search passes the cleared entry again
    log.message(4, "again");
    EXPECT_EQ(gotF.back(), "again");
}

TEST_F(LoggerTest, InvalidLevelIsRefusedThroughTheCurrentRouting) {
    log.setCallback(0, receiverF);
    for (int level : {6, -1}) log.setCallback(level, receiverG);
    ASSERT_EQ(gotF.size(), 2u);
    EXPECT_NE(gotF[0].find("Invalid log level: 6\n"), std::string::npos);
    EXPECT_NE(gotF[1].find("Invalid log level: -1\n"), std::string::npos);
    log.message(5, "still f");
    EXPECT_EQ(gotF.back(), "still f");
    EXPECT_TRUE(gotG.empty());
}

TEST_F(LoggerTest, LongLineIsCutTo1024CharactersAndNoted) {
    log.setCallback(0, receiverF);
    const std::string text(1030, 'x');
    log.message(3, "%s", text.c_str());
    ASSERT_EQ(gotF.size(), 2u);
    EXPECT_EQ(gotF[0], std::string(1024, 'x'));
    EXPECT_NE(gotF[1].find("Debug output was truncated by 6 bytes\n"), std::string::npos);
}

TEST_F(LoggerTest, FormatFailureIsReplacedByANote) {
    log.setCallback(0, receiverF);
    // A lone surrogate cannot be converted to a multibyte character: the
    // formatter reports an error.
    log.message(3, "%lc", static_cast<wint_t>(0xD800));
    ASSERT_EQ(gotF.size(), 1u);
    EXPECT_NE(gotF[0].find("Debug output format failed\n"), std::string::npos);
    // A failing note produces no further note.
    log.message(Logger::kNoteLevel, "%lc", static_cast<wint_t>(0xD800));
    EXPECT_EQ(gotF.size(), 1u);
}

}  // namespace
}  // namespace cl
