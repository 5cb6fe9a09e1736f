// The default input provider: XInput loading, Init's failure paths and
// clean-up, controller enumeration on tick, and the controller thread's
// passes with the held set shared by the pads, thresholds and the silent
// first pass.
#include <gmock/gmock.h>

#include "fakes/fake_controllers.h"
#include "fakes/input_fakes.h"
#include "input/controller_state.h"
#include "input/default_input.h"

namespace cl::test {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

constexpr uint16_t kA = 0x1000;
constexpr uint16_t kB = 0x2000;

// The default provider over scripted XInput, with a controller thread the
// test runs itself.
struct PadRig {
    PadRig() { libraries_.available = {{"XInput1_4.dll", true}, {"XInput9_1_0.dll", true}}; }
    void initForPasses() {
        signals_.startEmpty = true;
        ASSERT_TRUE(provider_.Init(host_, true, true));
        provider_.Tick();  // enumerates: the mask the passes poll
    }
    // Runs the controller thread's body for `passes` passes on this thread.
    void runPasses(int passes) {
        signals_.stopAfterPasses = passes;
        provider_.controllerThread();
    }

    LogCapture log_;
    FakeInputHost host_;
    FakeWindows windows_;
    FakeControllers controllers_;
    FakeLibraries libraries_;
    FakeControllerSignals signals_;
    FakeHookThread hooks_;
    DefaultInput provider_{libraries_, signals_, hooks_, windows_};
};

class ControllerTest : public ::testing::Test, protected PadRig {
protected:
    std::vector<std::string> logged() { return log_.takeBodies(); }
};

struct LoadCase {
    std::map<std::string, bool> available;
    bool ok;
    std::vector<std::string> chosen;  // loads that succeeded, in order
};

TEST_F(ControllerTest, XInputLoadingPrefersOneFourAndNeedsGetState) {
    const LoadCase cases[] = {
        {{{"XInput1_4.dll", true}, {"XInput9_1_0.dll", true}}, true, {"XInput1_4.dll"}},
        {{{"XInput9_1_0.dll", true}}, true, {"XInput9_1_0.dll"}},
        {{{"XInput1_4.dll", false}, {"XInput9_1_0.dll", true}}, true, {"XInput1_4.dll", "XInput9_1_0.dll"}},
        {{{"XInput1_4.dll", false}}, false, {"XInput1_4.dll"}},  // loads, no XInputGetState: a failure
        {{}, false, {}},
    };
    for (const LoadCase& c : cases) {
        FakeLibraries libraries;
        libraries.available = c.available;
        FakeControllerSignals signals;
        FakeHookThread hooks;
        DefaultInput provider(libraries, signals, hooks, windows_);
        EXPECT_EQ(provider.Init(host_, true, false), c.ok);
        EXPECT_EQ(libraries.loaded, c.chosen);
        EXPECT_EQ(libraries.open.size(), c.ok ? 1u : 0u) << "a library rejected or unused stays open";
        EXPECT_EQ(signals.created, c.ok);
        EXPECT_EQ(hooks.starts, c.ok ? 1 : 0);
        provider.Shutdown();
        // A library in use stays loaded (Wine's XInput crashes once freed)
        // and serves the next Init.
        EXPECT_EQ(libraries.open.size(), c.ok ? 1u : 0u);
        EXPECT_FALSE(signals.created);
        EXPECT_EQ(hooks.stops, c.ok ? 1 : 0);
        if (c.ok) {
            EXPECT_TRUE(provider.Init(host_, true, false));
            provider.Shutdown();
            EXPECT_EQ(libraries.loaded, c.chosen);
        }
    }
    EXPECT_THAT(logged(), IsEmpty());  // initinput logs the failure, not the provider
}

TEST_F(ControllerTest, InitFailuresCleanUpWhatWasMade) {
    signals_.canCreate = false;
    EXPECT_FALSE(provider_.Init(host_, true, true));
    EXPECT_TRUE(libraries_.loaded.empty());

    signals_.canCreate = true;
    hooks_.canStart = false;
    EXPECT_FALSE(provider_.Init(host_, true, true));
    EXPECT_EQ(libraries_.open.size(), 1u);  // kept for the next Init
    EXPECT_FALSE(signals_.created);

    hooks_.canStart = true;
    signals_.canStartThread = false;  // no controller thread: keyboard and mouse still work
    EXPECT_TRUE(provider_.Init(host_, true, true));
    const int enumerated = controllers_.callsFor(0);
    provider_.Tick();  // without the thread, nothing to enumerate for
    EXPECT_EQ(controllers_.callsFor(0), enumerated);
    provider_.Shutdown();
}

TEST_F(ControllerTest, TickEnumeratesAndSignalsPresenceOnlyWithTheControllerThread) {
    signals_.startEmpty = true;
    ASSERT_TRUE(provider_.Init(host_, true, false));
    provider_.Tick();
    EXPECT_EQ(controllers_.callsFor(0), 1);  // Init only: no controller thread
    provider_.Shutdown();

    ASSERT_TRUE(provider_.Init(host_, true, true));
    controllers_.connect(2);
    controllers_.answer(3, 5);  // an error other than not connected
    provider_.Tick();
    EXPECT_TRUE(signals_.present);
    EXPECT_THAT(logged(), ElementsAre("Controller 3 error [5]"));
    controllers_.answer(2, 1167);
    provider_.Tick();
    EXPECT_FALSE(signals_.present);
    provider_.Shutdown();
}

TEST_F(ControllerTest, PassesPollConnectedSlotsAndReportPressesAndReleases) {
    controllers_.connect(0);
    controllers_.connect(2);
    initForPasses();
    signals_.betweenPasses = [&](int pass) {
        if (pass == 1) controllers_.connect(2, {.buttons = kA});
        if (pass == 2) controllers_.connect(2, {});
    };
    runPasses(3);
    EXPECT_THAT(host_.take(), ElementsAre(press(195, 2), release(195, 2)));
    EXPECT_EQ(controllers_.callsFor(1), 1 + 1);  // Init and Tick only: not polled
    EXPECT_EQ(controllers_.callsFor(0), 2 + 3);
    EXPECT_EQ(signals_.sleeps, 3);
    EXPECT_TRUE(signals_.raised);
    provider_.Shutdown();
}

TEST_F(ControllerTest, FirstPassIsSilentButItsHeldControlsAreReleasedLater) {
    controllers_.connect(0, {.buttons = kA, .thumbLX = -32768});
    initForPasses();
    signals_.betweenPasses = [&](int pass) {
        if (pass == 1) controllers_.connect(0, {.buttons = kA | kB, .thumbLX = -32768});
        if (pass == 2) controllers_.connect(0, {});
    };
    runPasses(3);
    EXPECT_THAT(host_.take(), ElementsAre(press(196, 0), release(195, 0), release(196, 0), release(214, 0)));
    provider_.Shutdown();
}

TEST_F(ControllerTest, SilenceIsUsedUpByAFirstPassWithoutControllers) {
    initForPasses();  // nothing connected: the first pass idles
    signals_.betweenPasses = [&](int pass) {
        if (pass == 1) {
            controllers_.connect(1, {.buttons = kA});
            provider_.Tick();
        }
    };
    runPasses(2);
    EXPECT_EQ(signals_.idleWaits, 1);
    EXPECT_THAT(host_.take(), ElementsAre(press(195, 1)));
    provider_.Shutdown();
}

TEST_F(ControllerTest, UnpluggedSlotReleasesWhatItHeldAndAFailingOneIsLogged) {
    controllers_.connect(0);
    controllers_.connect(1);
    initForPasses();
    signals_.betweenPasses = [&](int pass) {
        if (pass == 1) controllers_.connect(0, {.buttons = kA});
        if (pass == 2) {
            controllers_.answer(0, 1167);  // unplugged with A held
            controllers_.answer(1, 0x80004005);
        }
        if (pass == 3) controllers_.connect(1, {});
    };
    runPasses(4);
    EXPECT_THAT(host_.take(), ElementsAre(press(195, 0), release(195, 0)));
    EXPECT_THAT(logged(), ElementsAre("Failed to get controller 1 state [0x80004005]; should be removed next tick"));
    provider_.Shutdown();
}

// A pad held down beside idle ones is one press, then one release when it
// lets go, however many passes it holds and wherever the idle pads are.
struct HoldCase {
    uint32_t holder;
    std::vector<uint32_t> idle;
    platform::GamepadState down;
    uint32_t code;
};

TEST(PadHoldTest, OnePadHoldingBesideIdleOnesIsOnePressAndOneRelease) {
    const platform::GamepadState button{.buttons = kA}, stick{.thumbLX = 32767}, trigger{.leftTrigger = 255};
    std::vector<HoldCase> cases;
    for (const auto& [down, code] : {std::pair{button, 195u}, {stick, 213u}, {trigger, 201u}}) {
        cases.push_back({0, {1}, down, code});
        cases.push_back({0, {1, 2}, down, code});
        cases.push_back({0, {1, 2, 3}, down, code});
        cases.push_back({3, {0, 1, 2}, down, code});
        cases.push_back({1, {0, 3}, down, code});
    }
    for (const HoldCase& c : cases) {
        PadRig rig;
        for (uint32_t slot : c.idle) rig.controllers_.connect(slot);
        rig.controllers_.connect(c.holder);
        rig.initForPasses();
        rig.signals_.betweenPasses = [&](int pass) {
            if (pass == 1) rig.controllers_.connect(c.holder, c.down);
            if (pass == 6) rig.controllers_.connect(c.holder, {});
        };
        rig.runPasses(8);
        EXPECT_THAT(rig.host_.take(), ElementsAre(press(c.code, c.holder), release(c.code, c.holder)))
            << "holder " << c.holder << ", code " << c.code << ", " << c.idle.size() << " idle";
        rig.provider_.Shutdown();
    }
}

// Two pads on the same control: the first down presses, the last up
// releases, in either order of letting go; a pad that disappears lets go.
struct TwoPadCase {
    const char* what;
    std::map<int, std::function<void(PadRig&)>> atPass;
    std::vector<InputEvent> expected;
};

TEST(PadHoldTest, TwoPadsOnOneControlGiveTheFirstPressAndTheLastRelease) {
    auto set = [](uint32_t slot, uint16_t buttons) {
        return [=](PadRig& rig) { rig.controllers_.connect(slot, {.buttons = buttons}); };
    };
    auto unplug = [](uint32_t slot) { return [=](PadRig& rig) { rig.controllers_.answer(slot, 1167); }; };
    auto untick = [](uint32_t slot) {
        return [=](PadRig& rig) {
            rig.controllers_.answer(slot, 1167);
            rig.provider_.Tick();  // enumerates without it: it leaves the mask
        };
    };
    const TwoPadCase cases[] = {
        {"first lets go first",
         {{1, set(0, kA)}, {2, set(1, kA)}, {4, set(0, 0)}, {6, set(1, 0)}},
         {press(195, 0), release(195, 1)}},
        {"second lets go first",
         {{1, set(0, kA)}, {2, set(1, kA)}, {4, set(1, 0)}, {6, set(0, 0)}},
         {press(195, 0), release(195, 0)}},
        {"second pad down first",
         {{1, set(1, kA)}, {2, set(0, kA)}, {4, set(1, 0)}, {6, set(0, 0)}},
         {press(195, 1), release(195, 0)}},
        {"sole holder unplugged", {{1, set(0, kA)}, {3, unplug(0)}}, {press(195, 0), release(195, 0)}},
        {"sole holder dropped by tick", {{1, set(0, kA)}, {3, untick(0)}}, {press(195, 0), release(195, 0)}},
        {"unplugged while the other holds",
         {{1, set(0, kA)}, {2, set(1, kA)}, {3, unplug(0)}, {5, set(1, 0)}},
         {press(195, 0), release(195, 1)}},
    };
    for (const TwoPadCase& c : cases) {
        PadRig rig;
        rig.controllers_.connect(0);
        rig.controllers_.connect(1);
        rig.initForPasses();
        rig.signals_.betweenPasses = [&](int pass) {
            if (auto step = c.atPass.find(pass); step != c.atPass.end()) step->second(rig);
        };
        rig.runPasses(8);
        EXPECT_EQ(rig.host_.take(), c.expected) << c.what;
        rig.provider_.Shutdown();
    }
}

TEST_F(ControllerTest, ThreadEndsAtOnceWhenStoppedBeforeItsFirstPass) {
    initForPasses();
    signals_.signalStop();
    provider_.controllerThread();
    EXPECT_EQ(signals_.idleWaits + signals_.sleeps, 0);
    provider_.Shutdown();
}

TEST_F(ControllerTest, RealThreadIdlesWithoutControllersAndStopsOnShutdown) {
    ASSERT_TRUE(provider_.Init(host_, true, true));
    provider_.Shutdown();  // would hang if the thread did not end
    EXPECT_TRUE(signals_.raised);
}

// ---- The held set and the thresholds ------------------------------------

struct AxisCase {
    platform::GamepadState state;
    std::vector<uint32_t> held;
};

TEST(ControllerStateTest, ThresholdsAreStrict) {
    const AxisCase cases[] = {
        {{.thumbLX = 20000}, {}},       {{.thumbLX = 20001}, {213}},  {{.thumbLX = -20000}, {}},
        {{.thumbLX = -20001}, {214}},   {{.thumbLY = 32767}, {211}},  {{.thumbLY = -32768}, {212}},
        {{.thumbRX = 20001}, {217}},    {{.thumbRX = -20001}, {218}}, {{.thumbRY = 20001}, {215}},
        {{.thumbRY = -20001}, {216}},   {{.leftTrigger = 30}, {}},    {{.leftTrigger = 31}, {201}},
        {{.rightTrigger = 255}, {202}}, {{.buttons = 0x0C00}, {}},  // bits with no button
    };
    for (const AxisCase& c : cases) {
        FakeInputHost host;
        ControllerHeld held(host);
        held.updateFromState(0, c.state, false, 0);
        std::vector<uint32_t> codes;
        for (const InputEvent& event : host.take()) codes.push_back(event.code);
        EXPECT_EQ(codes, c.held);
    }
}

TEST(ControllerStateTest, EveryButtonBitMapsToItsCodeInTableOrder) {
    FakeInputHost host;
    ControllerHeld held(host);
    held.updateFromState(3, {.buttons = 0xF3FF}, false, 0);
    std::vector<uint32_t> codes;
    for (const InputEvent& event : host.take()) codes.push_back(event.code);
    EXPECT_THAT(codes, ElementsAre(203, 204, 205, 206, 207, 208, 209, 210, 200, 199, 195, 196, 197, 198));
}

TEST(ControllerStateTest, StickAcrossBetweenPassesPressesTheNewSideThenReleasesTheOld) {
    FakeInputHost host;
    ControllerHeld held(host);
    held.updateFromState(0, {.thumbLX = -32768}, false, 0);
    host.take();
    held.updateFromState(0, {.thumbLX = 32767}, false, 0);
    EXPECT_THAT(host.take(), ElementsAre(press(213, 0), release(214, 0)));
}

TEST(ControllerStateTest, SilentUpdatesTakeDownControlsAndReportNothing) {
    FakeInputHost host;
    ControllerHeld held(host);
    held.updateHeld(0, true, 195, true, 0);
    held.updateHeld(0, false, 195, true, 0);  // silent release: nothing, still held
    EXPECT_TRUE(held.holds(195));
    held.updateHeld(0, false, 195, false, 0);
    EXPECT_THAT(host.take(), ElementsAre(release(195, 0)));
}

}  // namespace
}  // namespace cl::test
