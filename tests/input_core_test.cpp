// The input core: provider selection, initinput and freeinput, direct and
// safe delivery, the input lock's rules and tick's input half.
#include <gmock/gmock.h>

#include <thread>

#include "fakes/input_core_fixture.h"

namespace cl::test {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

TEST_F(InputCoreTest, DefaultSelectionInitsProviderZeroForKeyboardAndControllers) {
    ASSERT_TRUE(initSafe());
    EXPECT_THAT(journal_, ElementsAre("Init 0 kb=1 ctl=1"));
    EXPECT_TRUE(core_.initialised());
    EXPECT_TRUE(core_.acceptMouse());
    EXPECT_THAT(logged(), IsEmpty());

    EXPECT_FALSE(initSafe());
    EXPECT_THAT(logged(), ElementsAre("Input is already initialised"));
    core_.freeInput();
    EXPECT_THAT(journal_, ElementsAre("Init 0 kb=1 ctl=1", "Shutdown 0"));
    EXPECT_FALSE(core_.initialised());
    EXPECT_FALSE(core_.acceptMouse());
    EXPECT_FALSE(core_.focused());
}

TEST_F(InputCoreTest, AlternativeSelectionsNeedTheAbsentControllerProviderAndStartNothing) {
    EXPECT_FALSE(core_.initInput({.alternativeControllers = true}));
    EXPECT_FALSE(core_.initInput({.alternativeInput = true}));
    EXPECT_THAT(logged(), ElementsAre("Specified controller input provider is not available on this platform",
                                      "Specified controller input provider is not available on this platform"));
    EXPECT_THAT(journal_, IsEmpty());
    EXPECT_FALSE(core_.initialised());
}

TEST_F(InputCoreTest, FailedProviderInitLogsAndLeavesInputDown) {
    default_->initResult = false;
    EXPECT_FALSE(initSafe());
    EXPECT_THAT(logged(), ElementsAre("Failed to initialise input"));
    EXPECT_FALSE(core_.initialised());
    default_->initResult = true;
    EXPECT_TRUE(initSafe());  // starts afresh
    core_.freeInput();
}

class TwoProviderInputTest : public InputCoreTest {
protected:
    TwoProviderInputTest() : InputCoreTest(true) {}
};

TEST_F(TwoProviderInputTest, ControllerProviderFailureShutsTheKeyboardProviderDown) {
    controller_->initResult = false;
    EXPECT_FALSE(core_.initInput({.alternativeInput = true}));
    EXPECT_THAT(journal_, ElementsAre("Init 5 kb=1 ctl=0", "Init 3 kb=0 ctl=1", "Shutdown 5"));
    EXPECT_THAT(logged(), ElementsAre("Failed to initiailise controller input"));
    EXPECT_FALSE(core_.initialised());
}

TEST_F(TwoProviderInputTest, TickRunsEveryActiveProviderInOrderOnAnyThread) {
    core_.tickInputProviders();  // before initinput: nothing
    ASSERT_TRUE(core_.initInput({.alternativeControllers = true}));
    std::thread([&] { core_.tickInputProviders(); }).join();
    core_.freeInput();
    core_.tickInputProviders();
    EXPECT_THAT(journal_,
                ElementsAre("Init 0 kb=1 ctl=0", "Init 3 kb=0 ctl=1", "Tick 0", "Tick 3", "Shutdown 0", "Shutdown 3"));
}

TEST_F(InputCoreTest, DispatcherThatCannotStartShutsProvidersDownAndFails) {
    InputCore core(
        logger_,
        [&] {
            InputProviderRegistry registry;
            registry.add(kDefaultInput, std::make_unique<ScriptedInputProvider>(kDefaultInput, journal_));
            return registry;
        }(),
        [](std::thread&, std::function<void()>) { return false; });
    EXPECT_FALSE(core.initInput({.onPress = GameCallbacks::onPress}));
    EXPECT_THAT(journal_, ElementsAre("Init 0 kb=1 ctl=1", "Shutdown 0"));
    EXPECT_THAT(logged(), ElementsAre("Failed to start input dispatcher thread"));
    EXPECT_FALSE(core.initialised());
    // Safe input off needs no dispatcher.
    EXPECT_TRUE(core.initInput({.disableSafeInput = true}));
    core.freeInput();
}

TEST_F(InputCoreTest, RefusalsBeforeInitinput) {
    core_.freeInput();
    core_.lockInput();
    core_.unlockInput();
    EXPECT_THAT(logged(), ElementsAre("Input is not initialised", "Input has not been initialised",
                                      "Input has not been initialised"));
}

TEST_F(InputCoreTest, FocusAndMouseFlagsBeforeAndAfterInitinput) {
    core_.onFocus(false);
    core_.setAcceptMouse(false);
    ASSERT_TRUE(initSafe(true));
    EXPECT_TRUE(core_.focused());  // initinput's argument wins
    EXPECT_TRUE(core_.acceptMouse());
    core_.onFocus(false);
    core_.setAcceptMouse(false);
    EXPECT_FALSE(core_.focused());
    EXPECT_FALSE(core_.acceptMouse());
    core_.freeInput();
}

TEST_F(InputCoreTest, DirectDeliveryRunsCallbacksOnTheProviderThreadBeforeEmitReturns) {
    ASSERT_TRUE(initDirect());
    std::thread::id providerThread;
    std::thread([&] {
        providerThread = std::this_thread::get_id();
        default_->host_->emitPress(kKeyboardMouseSource, 0x41, 0);
        EXPECT_THAT(GameCallbacks::events, ElementsAre(press(0x41)));  // already delivered
        EXPECT_EQ(GameCallbacks::threads.at(0), providerThread);
        default_->host_->emitRelease(2, 195, 0);
    }).join();
    EXPECT_THAT(GameCallbacks::take(), ElementsAre(press(0x41), release(195, 2)));

    core_.lockInput();
    core_.unlockInput();
    EXPECT_THAT(logged(), ElementsAre("Global locking of input is ineffective when safe input is disabled",
                                      "Global locking of input is ineffective when safe input is disabled"));
    core_.freeInput();
}

TEST_F(InputCoreTest, SafeInputHoldsEventsUntilTheFirstUnlockAndDeliversThemBeforeItReturns) {
    ASSERT_TRUE(initSafe());
    InputHost& host = *default_->host_;
    host.emitPress(kKeyboardMouseSource, 0x41, 0);
    host.emitPress(kKeyboardMouseSource, 0x42, 0);
    host.emitRelease(kKeyboardMouseSource, 0x41, 0);
    awaitDispatcherIdle();
    EXPECT_THAT(GameCallbacks::take(), IsEmpty());  // locked since initinput

    core_.unlockInput();
    EXPECT_THAT(GameCallbacks::take(), ElementsAre(press(0x41), press(0x42), release(0x41)));

    core_.lockInput();
    host.emitRelease(kKeyboardMouseSource, 0x42, 0);
    core_.lockInput();
    EXPECT_THAT(logged(), ElementsAre("Tried to lock input, but input was already locked"));
    awaitDispatcherIdle();
    EXPECT_THAT(GameCallbacks::take(), IsEmpty());
    core_.unlockInput();
    EXPECT_THAT(GameCallbacks::take(), ElementsAre(release(0x42)));
    core_.unlockInput();
    EXPECT_THAT(logged(), ElementsAre("Tried to unlock input, but input was already unlocked"));
    core_.freeInput();
}

TEST_F(InputCoreTest, NullCallbackDropsOnlyItsKind) {
    ASSERT_TRUE(core_.initInput({.focused = true, .onPress = GameCallbacks::onPress}));
    default_->host_->emitPress(kKeyboardMouseSource, 0x41, 0);
    default_->host_->emitRelease(kKeyboardMouseSource, 0x41, 0);
    default_->host_->emitPress(kKeyboardMouseSource, 0x42, 0);
    core_.unlockInput();
    EXPECT_THAT(GameCallbacks::take(), ElementsAre(press(0x41), press(0x42)));
    core_.freeInput();
}

TEST_F(InputCoreTest, FreeinputWhileLockedDeliversWhatIsQueuedAndClearsEverything) {
    ASSERT_TRUE(initSafe());
    default_->host_->emitPress(kKeyboardMouseSource, 0x41, 0);
    core_.freeInput();
    EXPECT_THAT(GameCallbacks::take(), ElementsAre(press(0x41)));
    EXPECT_FALSE(core_.initialised());
    EXPECT_THAT(logged(), IsEmpty());

    // Afresh: locked again until the first unlock.
    ASSERT_TRUE(initSafe());
    default_->host_->emitPress(kKeyboardMouseSource, 0x43, 0);
    awaitDispatcherIdle();
    EXPECT_THAT(GameCallbacks::take(), IsEmpty());
    core_.unlockInput();
    EXPECT_THAT(GameCallbacks::take(), ElementsAre(press(0x43)));
    core_.freeInput();
}

TEST_F(InputCoreTest, AnotherThreadMayReleaseTheGamesLock) {
    ASSERT_TRUE(initSafe());  // locked by this thread
    default_->host_->emitPress(kKeyboardMouseSource, 0x41, 0);
    std::thread([&] { core_.unlockInput(); }).join();
    EXPECT_THAT(GameCallbacks::take(), ElementsAre(press(0x41)));
    core_.lockInput();
    std::thread([&] { core_.freeInput(); }).join();
    EXPECT_FALSE(core_.initialised());
    EXPECT_THAT(logged(), IsEmpty());
}

// A callback that takes the input lock would wait for its own batch; one
// that frees input with safe input off would wait for its own provider thread.
InputCore* coreForCallback = nullptr;
void lockFromCallback(uint32_t, uint32_t) {
    coreForCallback->initInput({});
    coreForCallback->lockInput();
    coreForCallback->unlockInput();
    coreForCallback->freeInput();
    GameCallbacks::onPress(0, 0);
}

TEST_F(InputCoreTest, LockCallsFromACallbackAreRefused) {
    coreForCallback = &core_;
    for (bool safe : {true, false}) {
        ASSERT_TRUE(core_.initInput({.onPress = lockFromCallback, .disableSafeInput = !safe}));
        // A provider thread of its own, as the hook and controller threads are.
        std::thread([&] { default_->host_->emitPress(kKeyboardMouseSource, 0x41, 0); }).join();
        if (safe) core_.unlockInput();
        EXPECT_THAT(GameCallbacks::take(), ElementsAre(press(0, 0)));
        const char* ineffective = "Global locking of input is ineffective when safe input is disabled";
        EXPECT_THAT(logged(), ElementsAre("InitInput cannot be called from an input callback",
                                          safe ? "LockInput cannot be called from an input callback" : ineffective,
                                          safe ? "UnlockInput cannot be called from an input callback" : ineffective,
                                          "FreeInput cannot be called from an input callback"))
            << (safe ? "safe input" : "direct delivery");
        EXPECT_TRUE(core_.initialised());
        core_.freeInput();
        EXPECT_THAT(journal_, ElementsAre("Init 0 kb=1 ctl=1", "Shutdown 0"));  // by this freeinput only
        journal_.clear();
    }
}

TEST_F(InputCoreTest, DestroyingTheCoreWithInputUpShutsItDown) {
    {
        InputCore core(logger_, [&] {
            InputProviderRegistry registry;
            registry.add(kDefaultInput, std::make_unique<ScriptedInputProvider>(kDefaultInput, journal_));
            return registry;
        }());
        ASSERT_TRUE(core.initInput({}));
    }
    EXPECT_THAT(journal_, ElementsAre("Init 0 kb=1 ctl=1", "Shutdown 0"));
}

}  // namespace
}  // namespace cl::test
