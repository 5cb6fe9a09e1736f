// The input core's lock and queue rules with real threads, run under
// ThreadSanitizer (its suite name carries "Concurrency"): producers on
// several threads, the game locking and unlocking, nothing delivered while
// the game holds the lock, nothing lost, duplicated or reordered.
#include <gmock/gmock.h>

#include <atomic>
#include <thread>

#include "fakes/input_core_fixture.h"

namespace cl::test {
namespace {

// Set while the game holds the lock; a delivery that sees it set breaks the rule.
std::atomic<bool> gameHoldsLock{false};
std::atomic<int> deliveriesWhileLocked{0};

void checkedPress(uint32_t source, uint32_t code) {
    if (gameHoldsLock.load(std::memory_order_seq_cst)) deliveriesWhileLocked.fetch_add(1);
    GameCallbacks::onPress(source, code);
}
void checkedRelease(uint32_t source, uint32_t code) {
    if (gameHoldsLock.load(std::memory_order_seq_cst)) deliveriesWhileLocked.fetch_add(1);
    GameCallbacks::onRelease(source, code);
}

class InputConcurrencyTest : public InputCoreTest {
protected:
    static constexpr uint32_t kProducers = 4;
    static constexpr uint32_t kEventsEach = 2000;

    void SetUp() override {
        gameHoldsLock = false;
        deliveriesWhileLocked = 0;
    }

    // Producer p emits codes 0..kEventsEach-1 with source p, alternating press and release.
    std::vector<std::thread> startProducers(std::atomic<bool>& go) {
        std::vector<std::thread> producers;
        for (uint32_t p = 0; p < kProducers; ++p) {
            producers.emplace_back([&, p] {
                while (!go.load()) std::this_thread::yield();
                for (uint32_t code = 0; code < kEventsEach; ++code) {
                    if (code % 2 == 0) {
                        default_->host_->emitPress(p, code, 0);
                    } else {
                        default_->host_->emitRelease(p, code, 0);
                    }
                }
            });
        }
        return producers;
    }

    // Every producer's events exactly once and in its own order.
    static void expectEveryEventOnceInOrder(const std::vector<InputEvent>& events) {
        std::vector<uint32_t> next(kProducers, 0);
        for (const InputEvent& event : events) {
            ASSERT_LT(event.source, kProducers);
            ASSERT_EQ(event.code, next[event.source]) << "lost, duplicated or reordered";
            ASSERT_EQ(event.pressed, event.code % 2 == 0 ? 1 : 0);
            next[event.source]++;
        }
        for (uint32_t p = 0; p < kProducers; ++p) EXPECT_EQ(next[p], kEventsEach) << "producer " << p;
    }
};

TEST_F(InputConcurrencyTest, ProducersAgainstAGameThatLocksAndUnlocks) {
    ASSERT_TRUE(core_.initInput({.onPress = checkedPress, .onRelease = checkedRelease}));
    std::atomic<bool> go{false};
    std::atomic<bool> producing{true};
    std::vector<std::thread> producers = startProducers(go);
    std::thread game([&] {
        gameHoldsLock = true;  // initinput left the lock held
        while (producing.load()) {
            gameHoldsLock = false;
            core_.unlockInput();
            core_.lockInput();
            gameHoldsLock = true;
        }
        gameHoldsLock = false;
        core_.unlockInput();  // everything emitted so far arrives before this returns
    });
    go = true;
    for (std::thread& producer : producers) producer.join();
    producing = false;
    game.join();

    expectEveryEventOnceInOrder(GameCallbacks::take());
    EXPECT_EQ(deliveriesWhileLocked.load(), 0);
    core_.freeInput();
    EXPECT_THAT(logged(), testing::IsEmpty());
}

TEST_F(InputConcurrencyTest, FreeinputWhileLockedDeliversEverythingQueued) {
    ASSERT_TRUE(core_.initInput({.onPress = checkedPress, .onRelease = checkedRelease}));
    std::atomic<bool> go{true};
    std::vector<std::thread> producers = startProducers(go);
    for (std::thread& producer : producers) producer.join();
    gameHoldsLock = true;
    std::thread([&] {
        gameHoldsLock = false;  // freeinput releases the game's lock
        core_.freeInput();
    }).join();
    expectEveryEventOnceInOrder(GameCallbacks::take());
    EXPECT_EQ(deliveriesWhileLocked.load(), 0);
}

TEST_F(InputConcurrencyTest, TickDuringInitAndFreeOnOtherThreads) {
    std::atomic<bool> done{false};
    std::thread ticker([&] {
        while (!done.load()) core_.tickInputProviders();
    });
    for (int round = 0; round < 50; ++round) {
        ASSERT_TRUE(core_.initInput({.disableSafeInput = round % 2 == 0}));
        core_.freeInput();
    }
    done = true;
    ticker.join();
}

TEST_F(InputConcurrencyTest, DirectDeliveryFromSeveralProviderThreads) {
    ASSERT_TRUE(initDirect());
    std::atomic<bool> go{true};
    std::vector<std::thread> producers = startProducers(go);
    for (std::thread& producer : producers) producer.join();
    expectEveryEventOnceInOrder(GameCallbacks::take());
    core_.freeInput();
}

}  // namespace
}  // namespace cl::test
