// The polling provider: the comparison of successive key states, the focus
// and mouse rules, the polling thread's loop and its Init and Shutdown.
#include <gmock/gmock.h>

#include <algorithm>

#include "fakes/input_fakes.h"
#include "input/polling_input.h"

namespace cl::test {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

class PollingTest : public ::testing::Test {
protected:
    PollingTest() {
        windows_.add({0, 0, 640, 480});
        system_.cursor = {100, 100};
    }
    std::vector<std::string> logged() { return log_.takeBodies(); }

    LogCapture log_;
    FakeInputHost host_;
    FakeWindows windows_;
    FakeKeyPolling system_;
    KeyPoller poller_{host_, system_, windows_};
};

TEST_F(PollingTest, TableHasTheSeventyThreeKeysWithMouseButtonsFirst) {
    EXPECT_THAT(std::vector<uint32_t>(polledKeys.begin(), polledKeys.begin() + 8),
                ElementsAre(0x01, 0x02, 0x04, 0x05, 0x06, 0x20, 0x0D, 0x1B));
    EXPECT_EQ(polledKeys[21], 0x26u);  // arrows: up, down, left, right
    EXPECT_EQ(polledKeys[24], 0x27u);
    EXPECT_EQ(polledKeys[60], 0x5Au);
    EXPECT_EQ(polledKeys[72], 0x7Bu);
}

TEST_F(PollingTest, ChangesAreReportedOnceInTableOrder) {
    system_.down = {{0x41, true}, {0xA1, true}, {0xA0, true}, {0x09, true}};  // Tab is not polled
    poller_.poll();
    poller_.poll();  // held: nothing new
    EXPECT_THAT(host_.take(), ElementsAre(press(0xA0), press(0xA1), press(0x41)));
    system_.down[0x41] = false;
    poller_.poll();
    EXPECT_THAT(host_.take(), ElementsAre(release(0x41)));
}

// A change is dated once the poll has read it, never before: a key pressed
// while the poll runs must not be dated before it went down.
TEST_F(PollingTest, AChangeIsDatedAfterThePollReadIt) {
    host_.counter_ = [this] { return system_.keyReads; };  // the clock: key reads so far
    int64_t readsUpToA = 0;
    system_.onKeyRead = [&](uint32_t key) {
        if (key != 0x41 || readsUpToA != 0) return;
        readsUpToA = system_.keyReads;
        system_.down[0x20] = system_.down[0x41] = true;  // space lands mid-poll, after it was read
    };
    poller_.poll();
    const std::vector<InputEvent> events = host_.takeTimed();
    ASSERT_EQ(events.size(), 1u);  // A; space was read before it went down
    EXPECT_EQ(events[0].code, 0x41u);
    EXPECT_EQ(events[0].seenAt, readsUpToA);
    poller_.poll();
    const std::vector<InputEvent> later = host_.takeTimed();
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].code, 0x20u);
    EXPECT_GT(later[0].seenAt, system_.keyReads - static_cast<int64_t>(kPolledKeyCount));  // read in the second poll
}

TEST_F(PollingTest, UnfocusedPollsNothingAndKeepsStatesSoAReleaseArrivesLater) {
    system_.down[0x20] = true;
    poller_.poll();
    host_.focused_ = false;
    system_.down[0x20] = false;
    poller_.poll();
    EXPECT_THAT(host_.take(), ElementsAre(press(0x20)));
    host_.focused_ = true;
    poller_.poll();
    EXPECT_THAT(host_.take(), ElementsAre(release(0x20)));
}

TEST_F(PollingTest, MouseButtonsOnlyWithTheCursorOverOwnClientArea) {
    system_.down[0x01] = true;
    system_.cursor = {1000, 1000};
    poller_.poll();
    EXPECT_THAT(host_.take(), IsEmpty());
    system_.cursor = {100, 100};
    poller_.poll();
    system_.down[0x01] = false;
    system_.cursor = {1000, 1000};
    poller_.poll();  // released outside: seen when the cursor comes back
    EXPECT_THAT(host_.take(), ElementsAre(press(0x01)));
    system_.cursor = {100, 100};
    poller_.poll();
    EXPECT_THAT(host_.take(), ElementsAre(release(0x01)));

    host_.acceptMouse_ = false;
    system_.down[0x02] = true;
    poller_.poll();
    EXPECT_THAT(host_.take(), IsEmpty());
}

TEST_F(PollingTest, CursorFailureLogsAndStillPollsMouseButtons) {
    system_.cursorError = 5;
    system_.down[0x02] = true;
    poller_.poll();
    EXPECT_THAT(host_.take(), ElementsAre(press(0x02)));
    EXPECT_THAT(logged(), ElementsAre("Failed to get cursor position: 5"));
}

TEST_F(PollingTest, LoopPollsBetweenWaitsBacksOffOnAFailedWaitAndEndsWhenSignalled) {
    system_.waitScript = {platform::WaitOutcome::TimedOut, platform::WaitOutcome::Failed,
                          platform::WaitOutcome::TimedOut, platform::WaitOutcome::Signalled};
    system_.betweenPolls = [&](int wait) { system_.down[0x30 + wait] = true; };
    poller_.run();
    EXPECT_THAT(host_.take(), ElementsAre(press(0x31), press(0x32), press(0x33)));  // one per poll after a wait
    EXPECT_EQ(system_.waits, 4);
    EXPECT_EQ(system_.sleeps, 1);
    EXPECT_THAT(logged(), ElementsAre("Wait failed: 4294967295 (6)"));
}

TEST_F(PollingTest, InitRunsTheThreadUntilShutdown) {
    PollingInput provider(system_, windows_);
    system_.waitScript.assign(3, platform::WaitOutcome::TimedOut);
    system_.waitScript.push_back(platform::WaitOutcome::Signalled);  // the fake ends the loop by itself
    system_.down[0x41] = true;
    ASSERT_TRUE(provider.Init(host_, true, true));
    provider.Shutdown();  // joins the thread
    EXPECT_EQ(system_.stopSignals, 1);
    EXPECT_FALSE(system_.created);
    EXPECT_THAT(host_.take(), ElementsAre(press(0x41)));
    provider.Shutdown();  // twice: nothing more
    EXPECT_EQ(system_.stopSignals, 1);
}

TEST_F(PollingTest, InitFailsWithTheThreadMessageWithoutEventOrThread) {
    PollingInput provider(system_, windows_);
    system_.canCreate = false;
    EXPECT_FALSE(provider.Init(host_, true, false));
    system_.canCreate = true;
    system_.canStartThread = false;
    EXPECT_FALSE(provider.Init(host_, true, false));
    EXPECT_FALSE(system_.created);  // closed again
    EXPECT_THAT(logged(), ElementsAre("Failed to create keyboard thread", "Failed to create keyboard thread"));
}

}  // namespace
}  // namespace cl::test
