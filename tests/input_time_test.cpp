// When each input event was seen: stamped where a provider finds it (the
// hook procedure's counter, the poll that saw the change), carried through
// the safe input queue, and readable inside the callback that delivers it,
// in both delivery modes, and nowhere else.
#include <gmock/gmock.h>

#include <optional>
#include <thread>

#include "fakes/input_core_fixture.h"
#include "input/controller_state.h"
#include "input/hook_logic.h"
#include "input/polling_input.h"

namespace cl::test {
namespace {

using testing::ElementsAre;

InputEvent seen(InputEvent event, int64_t seenAt) {
    event.seenAt = seenAt;
    return event;
}

// What the callbacks saw of their events' times.
InputCore* timedCore = nullptr;
std::vector<std::optional<int64_t>> seenInCallbacks;
void recordSeenAt(uint32_t, uint32_t) { seenInCallbacks.push_back(timedCore->deliveredEventSeenAt()); }

class InputTimeTest : public InputCoreTest {
protected:
    InputTimeTest() {
        timedCore = &core_;
        seenInCallbacks.clear();
    }
    bool init(bool safe) {
        return core_.initInput({.onPress = recordSeenAt, .onRelease = recordSeenAt, .disableSafeInput = !safe});
    }
};

TEST_F(InputTimeTest, SafeInputCarriesEachEventsTimeToItsCallback) {
    ASSERT_TRUE(init(true));
    InputHost& host = *default_->host_;
    std::thread([&] {
        host.emitPress(kKeyboardMouseSource, 0x41, 111);
        host.emitRelease(kKeyboardMouseSource, 0x41, 222);
        host.emitPress(2, 195, 333);
    }).join();
    EXPECT_FALSE(core_.deliveredEventSeenAt()) << "outside a callback";
    core_.unlockInput();  // delivered on the dispatcher while this thread waits
    EXPECT_THAT(seenInCallbacks, ElementsAre(111, 222, 333));
    EXPECT_FALSE(core_.deliveredEventSeenAt());
    core_.freeInput();
}

TEST_F(InputTimeTest, DirectDeliveryGivesTheTimeOnTheProviderThreadOnlyDuringTheCallback) {
    ASSERT_TRUE(init(false));
    std::thread([&] {
        default_->host_->emitPress(kKeyboardMouseSource, 0x41, 444);
        EXPECT_FALSE(core_.deliveredEventSeenAt()) << "after the callback returned";
        default_->host_->emitRelease(kKeyboardMouseSource, 0x41, 555);
    }).join();
    EXPECT_THAT(seenInCallbacks, ElementsAre(444, 555));
    core_.freeInput();
}

TEST(InputStampTest, HooksPassOnTheProceduresTimeAndRepeatsKeepTheFirst) {
    LogCapture log;
    FakeInputHost host;
    FakeWindows windows;
    windows.add({0, 0, 640, 480});
    HookLogic logic(host, windows);
    logic.keyboard(0, msg::kKeyDown, 'A', 500);
    logic.keyboard(0, msg::kKeyDown, 'A', 510);  // auto-repeat: nothing
    logic.mouse(0, msg::kLButtonDown, 10, 10, 0, 520);
    logic.keyboard(0, msg::kKeyUp, 'A', 530);
    EXPECT_THAT(host.takeTimed(), ElementsAre(seen(press('A'), 500), seen(press(1), 520), seen(release('A'), 530)));
}

// Each change is dated by a reading taken once the poll has read its key,
// so two changes found by one poll carry times in table order.
TEST(InputStampTest, APollDatesEachChangeWhenItHasReadIt) {
    LogCapture log;
    FakeInputHost host;  // its counter goes up by one per reading
    FakeWindows windows;
    windows.add({0, 0, 640, 480});
    FakeKeyPolling system;
    system.cursor = {100, 100};
    KeyPoller poller(host, system, windows);
    system.down = {{0x41, true}, {0x42, true}};
    poller.poll();
    system.down[0x41] = false;
    poller.poll();
    const std::vector<InputEvent> events = host.takeTimed();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_LT(events[0].seenAt, events[1].seenAt) << "each change its own reading";
    EXPECT_GT(events[2].seenAt, events[1].seenAt);
    EXPECT_EQ(events[2], seen(release(0x41), events[2].seenAt));
}

TEST(InputStampTest, ControllersDateChangesByThePollThatFoundThem) {
    FakeInputHost host;
    ControllerHeld held(host);
    held.updateFromState(1, {.buttons = 0x1000}, false, 700);  // A down
    held.updateFromState(1, {.buttons = 0x1000}, false, 710);  // still down: nothing
    held.letGo(1, 720);                                        // unplugged
    EXPECT_THAT(host.takeTimed(), ElementsAre(seen(press(195, 1), 700), seen(release(195, 1), 720)));
}

}  // namespace
}  // namespace cl::test
