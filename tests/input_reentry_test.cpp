// Calls back into input from where a game may make them: a log receiver
// answering an input line, a callback running while another thread frees
// input, and a lock taken while input goes down. None may hang, and nothing
// queued before freeinput may be lost.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "fakes/hang_guard.h"
#include "fakes/input_core_fixture.h"

namespace cl::test {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

// The receiver takes no context: the core it calls back into is here.
InputCore* receiverCore = nullptr;
std::function<void(InputCore&)> receiverAnswer;
std::vector<std::string> receivedLines;
thread_local int receiverDepth = 0;

void answeringReceiver(const char* line) {
    receivedLines.push_back(LogCapture::body(line));
    if (receiverDepth > 0) return;  // the answer's own lines are only recorded
    ++receiverDepth;
    receiverAnswer(*receiverCore);
    --receiverDepth;
}

struct ReceiverCase {
    const char* line;               // the line the receiver answers
    std::function<void()> provoke;  // makes the core log it
};

// Run under ThreadSanitizer too: it reports a lock taken twice by one thread.
class InputReentryConcurrencyTest : public InputCoreTest {
protected:
    InputReentryConcurrencyTest() : InputCoreTest(/*withControllerProvider=*/true) {}
    void initSafe() { core_.initInput({}); }
};

TEST_F(InputReentryConcurrencyTest, AReceiverThatAnswersAnInputLineWithInitinputOrFreeinputNeverHangs) {
    const ReceiverCase cases[] = {
        {"Input is already initialised",
         [&] {
             initSafe();
             initSafe();
         }},
        {"Input is not initialised", [&] { core_.freeInput(); }},
        {"Failed to initialise input",
         [&] {
             default_->initResult = false;
             initSafe();
         }},
        {"Failed to initiailise controller input",
         [&] {
             controller_->initResult = false;
             core_.initInput({.alternativeControllers = true});
         }},
        {"a provider's line in Init",
         [&] {
             default_->onInit = [](InputHost& host) { host.log().message(3, "[CL] [tid=%4x] from Init\n", tid()); };
             initSafe();
         }},
        {"a provider's line in Tick",
         [&] {
             initSafe();
             InputHost* host = default_->host_;
             default_->onTick = [host] { host->log().message(3, "[CL] [tid=%4x] from Tick\n", tid()); };
             core_.tickInputProviders();
         }},
    };
    const std::pair<const char*, std::function<void(InputCore&)>> answers[] = {
        {"freeinput", [](InputCore& core) { core.freeInput(); }},
        {"initinput", [](InputCore& core) { core.initInput({}); }},
    };
    for (const auto& [answerName, answer] : answers) {
        for (const ReceiverCase& c : cases) {
            SCOPED_TRACE(std::string(c.line) + ", answered with " + answerName);
            receiverCore = &core_;
            receiverAnswer = answer;
            receivedLines.clear();
            default_->initResult = true;
            controller_->initResult = true;
            default_->onInit = nullptr;
            default_->onTick = nullptr;
            logger_.setCallback(0, answeringReceiver);
            returnsInTime(std::string("provoking \"") + c.line + "\"", c.provoke);
            logger_.setCallback(0, nullptr);
            EXPECT_FALSE(receivedLines.empty());
            if (core_.initialised()) core_.freeInput();
            EXPECT_FALSE(core_.initialised());
        }
    }
}

// A callback blocked until another thread is inside freeinput, then calling
// initinput: freeinput waits for that callback to end while it holds input's
// lifecycle, so the callback's initinput must not wait for it.
std::mutex stageMutex;
std::condition_variable stageSignal;
bool inCallback = false;
bool freeing = false;
InputCore* callbackCore = nullptr;

void initFromCallbackDuringFree(uint32_t, uint32_t) {
    std::unique_lock<std::mutex> lock(stageMutex);
    inCallback = true;
    stageSignal.notify_all();
    stageSignal.wait(lock, [] { return freeing; });
    lock.unlock();
    callbackCore->initInput({});
    GameCallbacks::onPress(0, 0);
}

TEST_F(InputReentryConcurrencyTest, ACallbackCallingInitinputWhileAnotherThreadFreesInputIsRefused) {
    callbackCore = &core_;
    inCallback = freeing = false;
    ASSERT_TRUE(core_.initInput({.onPress = initFromCallbackDuringFree}));
    default_->onShutdown = [] {
        std::lock_guard<std::mutex> guard(stageMutex);
        freeing = true;
        stageSignal.notify_all();
    };
    default_->host_->emitPress(kKeyboardMouseSource, 0x41, 0);
    std::thread unlocker([&] { core_.unlockInput(); });
    {
        std::unique_lock<std::mutex> lock(stageMutex);
        stageSignal.wait(lock, [] { return inCallback; });
    }
    returnsInTime("freeinput with a callback calling initinput", [&] { core_.freeInput(); });
    unlocker.join();
    EXPECT_THAT(GameCallbacks::take(), ElementsAre(press(0, 0)));
    EXPECT_THAT(logged(), ElementsAre("InitInput cannot be called from an input callback"));
    EXPECT_FALSE(core_.initialised());
}

// The invariant: every event queued before freeinput reaches the callbacks,
// even when another thread takes the input lock in the moment freeinput
// lets it go. A race, not an interleaving a test can force: many rounds,
// each checked, with the locking thread hammering the lock.
TEST_F(InputReentryConcurrencyTest, ALockRacingFreeinputNeverKeepsQueuedEventsFromTheGame) {
    Logger quiet(nullptr);  // the racing thread's refusals are expected and many
    InputCore core(quiet, [&] {
        InputProviderRegistry registry;
        auto provider = std::make_unique<ScriptedInputProvider>(kDefaultInput, journal_);
        default_ = provider.get();
        registry.add(kDefaultInput, std::move(provider));
        return registry;
    }());
    for (int round = 0; round < 200; ++round) {
        ASSERT_TRUE(core.initInput({.onPress = GameCallbacks::onPress}));  // locked by this thread
        for (uint32_t code = 1; code <= 3; ++code) default_->host_->emitPress(kKeyboardMouseSource, code, 0);
        std::atomic<bool> freed{false};
        std::thread locker([&] {
            while (!freed.load(std::memory_order_acquire)) core.lockInput();
        });
        core.freeInput();
        freed.store(true, std::memory_order_release);
        locker.join();
        ASSERT_THAT(GameCallbacks::take(), ElementsAre(press(1), press(2), press(3))) << "round " << round;
    }
}

}  // namespace
}  // namespace cl::test
