// The hook procedures' logic, fed synthetic hook messages: one press per
// hold, focus rules, the mouse button table and the own-client-area test.
#include <gmock/gmock.h>

#include "fakes/input_fakes.h"
#include "input/hook_logic.h"
#include "input/own_client_area.h"

namespace cl::test {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

class HookLogicTest : public ::testing::Test {
protected:
    HookLogicTest() {
        // The game's window: client area 100..299 x 100..199 on screen, 8-pixel frame;
        // a window of another process overlaps it from x = 250.
        windows_.add({100, 100, 300, 200}, FakeWindows::kOwnProcess, 8);
        windows_.add({250, 150, 400, 400}, 999);
    }
    // Each call as the system hands it over, one counter tick after the last.
    void key(uintptr_t message, uint32_t vk, int32_t nCode = 0) { logic_.keyboard(nCode, message, vk, ++seenAt_); }
    void mouse(uintptr_t message, int32_t x = 150, int32_t y = 120, uint32_t data = 0, int32_t nCode = 0) {
        logic_.mouse(nCode, message, x, y, data, ++seenAt_);
    }

    int64_t seenAt_ = 0;

    LogCapture log_;
    FakeInputHost host_;
    FakeWindows windows_;
    HookLogic logic_{host_, windows_};
};

TEST_F(HookLogicTest, HeldKeyGivesOnePressAndOneReleaseWhateverTheRepeats) {
    for (int i = 0; i < 5; ++i) key(msg::kKeyDown, 0x41);
    key(msg::kKeyUp, 0x41);
    key(msg::kKeyUp, 0x41);       // a second release of a key already up
    key(msg::kSysKeyDown, 0x79);  // F10, and keys with Alt held
    key(msg::kSysKeyDown, 0x79);
    key(msg::kSysKeyUp, 0x79);
    EXPECT_THAT(host_.take(), ElementsAre(press(0x41), release(0x41), press(0x79), release(0x79)));
}

TEST_F(HookLogicTest, NegativeCodeUnknownMessagesAndCodesBeyondVirtualKeysGiveNothing) {
    key(msg::kKeyDown, 0x41, -1);
    key(0x102, 0x41);  // WM_CHAR
    key(msg::kKeyDown, 256);
    key(msg::kKeyDown, 0xFFFFFFFF);
    mouse(msg::kLButtonDown, 150, 120, 0, -1);
    EXPECT_THAT(host_.take(), IsEmpty());
}

TEST_F(HookLogicTest, FocusDecidesWhetherKeysAreSeenButHeldStateSurvives) {
    key(msg::kKeyDown, 0x41);
    host_.focused_ = false;
    key(msg::kKeyUp, 0x41);    // lost: the key stays down
    key(msg::kKeyDown, 0x42);  // pressed unfocused
    host_.focused_ = true;
    key(msg::kKeyDown, 0x41);  // still down: nothing
    key(msg::kKeyUp, 0x41);
    key(msg::kKeyUp, 0x42);  // never seen down: nothing
    EXPECT_THAT(host_.take(), ElementsAre(press(0x41), release(0x41)));
}

struct MouseCase {
    uintptr_t down, up;
    uint32_t data;
    uint32_t code;  // 0: not a button
};

TEST_F(HookLogicTest, MouseButtonTable) {
    const MouseCase cases[] = {
        {msg::kLButtonDown, msg::kLButtonUp, 0, 1},
        {msg::kRButtonDown, msg::kRButtonUp, 0, 2},
        {msg::kMButtonDown, msg::kMButtonUp, 0, 4},
        {msg::kXButtonDown, msg::kXButtonUp, 1u << 16, 5},
        {msg::kXButtonDown, msg::kXButtonUp, 2u << 16, 6},
        {msg::kXButtonDown, msg::kXButtonUp, 3u << 16, 0},
        {msg::kXButtonDown, msg::kXButtonUp, 0, 0},
        {0x203, 0x203, 0, 0},  // double click
        {0x200, 0x20A, 0, 0},  // move, wheel
    };
    for (const MouseCase& c : cases) {
        mouse(c.down, 150, 120, c.data);
        mouse(c.down, 150, 120, c.data);
        mouse(c.up, 150, 120, c.data);
        if (c.code == 0) {
            EXPECT_THAT(host_.take(), IsEmpty()) << std::hex << c.down << " " << c.data;
        } else {
            EXPECT_THAT(host_.take(), ElementsAre(press(c.code), release(c.code))) << c.code;
        }
    }
}

TEST_F(HookLogicTest, MouseCountsOnlyOverOwnClientAreaAndIgnoresFocus) {
    host_.focused_ = false;
    mouse(msg::kLButtonDown, 150, 120);  // inside, unfocused: reported
    mouse(msg::kLButtonUp, 500, 500);    // released outside: lost
    mouse(msg::kLButtonDown, 150, 120);  // still down: nothing
    mouse(msg::kLButtonUp, 150, 120);
    mouse(msg::kRButtonDown, 95, 120);   // on the frame
    mouse(msg::kRButtonDown, 260, 160);  // over the other process's window
    EXPECT_THAT(host_.take(), ElementsAre(press(1), release(1)));

    host_.acceptMouse_ = false;
    mouse(msg::kLButtonDown, 150, 120);
    EXPECT_THAT(host_.take(), IsEmpty());
}

TEST_F(HookLogicTest, ClearForgetsHeldKeys) {
    key(msg::kKeyDown, 0x41);
    logic_.clear();
    key(msg::kKeyDown, 0x41);
    EXPECT_THAT(host_.take(), ElementsAre(press(0x41), press(0x41)));
}

struct PointCase {
    int32_t x, y;
    bool inside;
};

TEST(OwnClientAreaTest, EdgesAndOwnershipAndFailures) {
    FakeWindows windows;
    windows.add({100, 100, 300, 200}, FakeWindows::kOwnProcess, 8);
    windows.add({120, 110, 140, 130});  // a child window of the game, on top
    const PointCase cases[] = {
        {100, 100, true},    {299, 199, true}, {300, 150, false}, {150, 200, false},  // right and bottom outside
        {99, 150, false},    {150, 99, false}, {130, 120, true},                      // frame; child window
        {1000, 1000, false},                                                          // no window at all
    };
    for (const PointCase& c : cases) {
        EXPECT_EQ(isOverOwnClientArea(windows, {c.x, c.y}), c.inside) << c.x << "," << c.y;
    }
    windows.windows[0].processId = 7;
    EXPECT_FALSE(isOverOwnClientArea(windows, {150, 150}));
    windows.windows[0].processId = FakeWindows::kOwnProcess;
    windows.failScreenToClient = true;
    EXPECT_FALSE(isOverOwnClientArea(windows, {150, 150}));
    windows.failScreenToClient = false;
    windows.failClientRect = true;
    EXPECT_FALSE(isOverOwnClientArea(windows, {150, 150}));
}

}  // namespace
}  // namespace cl::test
