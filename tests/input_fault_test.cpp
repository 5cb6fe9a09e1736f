// Faults of input, end to end through the input core and the default
// provider over scripted system services: what cannot be started fails
// initinput with its line and leaves nothing behind, and neither a slow
// callback nor one that calls the lock or free calls itself keeps freeinput
// from returning.
#include <gmock/gmock.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "fakes/eventually.h"
#include "fakes/fake_controllers.h"
#include "fakes/hang_guard.h"
#include "fakes/input_fakes.h"
#include "input/default_input.h"
#include "input/input_core.h"

namespace cl::test {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

constexpr uint16_t kA = 0x1000;
constexpr uint32_t kCodeA = 195;  // VK_GAMEPAD_A

// The default provider with its services scripted, under a core of its own.
struct DefaultInputRig {
    DefaultInputRig() { libraries.available = {{"XInput1_4.dll", true}, {"XInput9_1_0.dll", true}}; }
    std::vector<std::string> logged() { return log.takeBodies(); }

    LogCapture log;
    Logger logger{&LogCapture::sink};
    FakeWindows windows;
    FakeControllers controllers;
    FakeLibraries libraries;
    FakeControllerSignals signals;
    FakeHookThread hooks;
    InputCore core{logger, [this] {
                       InputProviderRegistry registry;
                       registry.add(kDefaultInput, std::make_unique<DefaultInput>(libraries, signals, hooks, windows));
                       return registry;
                   }()};
};

// ---- Services that cannot be had ------------------------------------------

struct ServiceFault {
    const char* name;
    std::function<void(DefaultInputRig&)> breakIt;
    std::function<void(DefaultInputRig&)> mendIt;
};

TEST(InputFaultTest, AMissingServiceFailsInitinputCleanlyAndALaterOneWorks) {
    const ServiceFault faults[] = {
        {"XInput absent", [](DefaultInputRig& rig) { rig.libraries.available.clear(); },
         [](DefaultInputRig& rig) {
             rig.libraries.available = {{"XInput9_1_0.dll", true}};
         }},
        {"XInput without XInputGetState",
         [](DefaultInputRig& rig) {
             rig.libraries.available = {{"XInput1_4.dll", false}, {"XInput9_1_0.dll", false}};
         },
         [](DefaultInputRig& rig) {
             rig.libraries.available = {{"XInput1_4.dll", true}};
         }},
        // The hook thread reports a refused hook or window as a thread that
        // could not start (tested under Wine with the real hook thread).
        {"hooks or window refused", [](DefaultInputRig& rig) { rig.hooks.canStart = false; },
         [](DefaultInputRig& rig) { rig.hooks.canStart = true; }},
        {"events not created", [](DefaultInputRig& rig) { rig.signals.canCreate = false; },
         [](DefaultInputRig& rig) { rig.signals.canCreate = true; }},
    };
    for (const ServiceFault& fault : faults) {
        for (bool safe : {true, false}) {
            SCOPED_TRACE(std::string(fault.name) + (safe ? ", safe input" : ", direct delivery"));
            DefaultInputRig rig;
            fault.breakIt(rig);
            EXPECT_FALSE(rig.core.initInput({.focused = true, .disableSafeInput = !safe}));
            EXPECT_THAT(rig.logged(), ElementsAre("Failed to initialise input"));
            EXPECT_FALSE(rig.core.initialised());
            EXPECT_FALSE(rig.signals.created);
            EXPECT_EQ(rig.hooks.starts, rig.hooks.stops);
            returnsInTime("freeinput", [&] { rig.core.freeInput(); });
            EXPECT_THAT(rig.logged(), ElementsAre("Input is not initialised"));

            fault.mendIt(rig);
            ASSERT_TRUE(rig.core.initInput({.focused = true, .disableSafeInput = !safe}));
            returnsInTime("freeinput", [&] { rig.core.freeInput(); });
            EXPECT_THAT(rig.logged(), IsEmpty());
            EXPECT_EQ(rig.hooks.starts, 1);
            EXPECT_EQ(rig.hooks.stops, 1);
        }
    }
}

// ---- Callbacks that misbehave, on the real controller thread --------------

// The game's callbacks take no context.
struct Game {
    static inline DefaultInputRig* rig = nullptr;
    static inline std::mutex mutex;
    static inline std::condition_variable signal;
    static inline bool inCallback = false;
    static inline bool inputStopping = false;
    static inline std::vector<InputEvent> events;

    static void record(const InputEvent& event) {
        std::lock_guard<std::mutex> guard(mutex);
        events.push_back(event);
    }
    // Takes until freeinput is under way: as slow as a callback can be
    // without hanging on its own.
    static void slowPress(uint32_t source, uint32_t code) {
        record({source, code, 1});
        std::unique_lock<std::mutex> lock(mutex);
        inCallback = true;
        signal.notify_all();
        signal.wait_for(lock, std::chrono::seconds(30), [] { return inputStopping; });
    }
    static void release(uint32_t source, uint32_t code) { record({source, code, 0}); }
    static void lockingPress(uint32_t source, uint32_t code) {
        rig->core.lockInput();
        rig->core.unlockInput();
        rig->core.freeInput();
        record({source, code, 1});
    }
    static std::vector<InputEvent> take() {
        std::lock_guard<std::mutex> guard(mutex);
        std::vector<InputEvent> taken;
        taken.swap(events);
        return taken;
    }
    static void reset(DefaultInputRig& newRig) {
        std::lock_guard<std::mutex> guard(mutex);
        rig = &newRig;
        inCallback = inputStopping = false;
        events.clear();
    }
};

// Starts input with controller slot 0 connected and waits until the
// controller thread has had its first (silent) pass.
void startWithController(DefaultInputRig& rig, InputCallback onPress, bool safe) {
    Game::reset(rig);
    rig.controllers.connect(0);
    ASSERT_TRUE(rig.core.initInput(
        {.focused = true, .onPress = onPress, .onRelease = Game::release, .disableSafeInput = !safe}));
    if (safe) rig.core.unlockInput();
    const int enumerated = rig.controllers.callsFor(0);
    ASSERT_TRUE(eventually([&] { return rig.controllers.callsFor(0) > enumerated; }));
}

TEST(InputFaultConcurrencyTest, ASlowCallbackDelaysFreeinputButNeverHangsIt) {
    for (bool safe : {true, false}) {
        SCOPED_TRACE(safe ? "safe input" : "direct delivery");
        DefaultInputRig rig;
        rig.hooks.onStop = [] {
            {
                std::lock_guard<std::mutex> guard(Game::mutex);
                Game::inputStopping = true;
            }
            Game::signal.notify_all();
        };
        startWithController(rig, Game::slowPress, safe);
        rig.controllers.connect(0, {.buttons = kA});
        {
            std::unique_lock<std::mutex> lock(Game::mutex);
            ASSERT_TRUE(Game::signal.wait_for(lock, std::chrono::seconds(30), [] { return Game::inCallback; }));
        }
        if (safe) {
            // The controller thread is not held up by the callback: it goes
            // on polling and queues the release behind the slow press.
            rig.controllers.connect(0, {});
            const int polled = rig.controllers.callsFor(0);
            ASSERT_TRUE(eventually([&] { return rig.controllers.callsFor(0) >= polled + 2; }));
        }
        returnsInTime("freeinput", [&] { rig.core.freeInput(); });
        // Whatever was queued before freeinput reached the game before it returned.
        if (safe) {
            EXPECT_THAT(Game::take(), ElementsAre(press(kCodeA, 0), release(kCodeA, 0)));
        } else {
            EXPECT_THAT(Game::take(), ElementsAre(press(kCodeA, 0)));
        }
        EXPECT_FALSE(rig.core.initialised());
        EXPECT_THAT(rig.logged(), IsEmpty());
    }
}

TEST(InputFaultConcurrencyTest, ACallbackThatLocksOrFreesInputIsRefusedAndFreeinputStillReturns) {
    for (bool safe : {true, false}) {
        SCOPED_TRACE(safe ? "safe input" : "direct delivery");
        DefaultInputRig rig;
        startWithController(rig, Game::lockingPress, safe);
        rig.controllers.connect(0, {.buttons = kA});
        ASSERT_TRUE(eventually([] {
            std::lock_guard<std::mutex> guard(Game::mutex);
            return !Game::events.empty();
        }));
        EXPECT_THAT(Game::take(), ElementsAre(press(kCodeA, 0)));
        const char* ineffective = "Global locking of input is ineffective when safe input is disabled";
        EXPECT_THAT(rig.logged(),
                    ElementsAre(safe ? "LockInput cannot be called from an input callback" : ineffective,
                                safe ? "UnlockInput cannot be called from an input callback" : ineffective,
                                "FreeInput cannot be called from an input callback"));
        EXPECT_TRUE(rig.core.initialised());
        returnsInTime("freeinput", [&] { rig.core.freeInput(); });
        EXPECT_FALSE(rig.core.initialised());
        EXPECT_THAT(rig.logged(), IsEmpty());
    }
}

}  // namespace
}  // namespace cl::test
