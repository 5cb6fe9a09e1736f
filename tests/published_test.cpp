// The hand-off between the one thread that publishes a value and the
// threads that read it. Invariant: every read returns a value published
// whole, and a reader's reads never go back to an older publication, even
// when the writer laps it or stalls half-way.
#include "clock/published.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace cl::test {
namespace {

// Fields that only fit together when published together.
struct Value {
    uint64_t number = 0;
    uint64_t times3 = 0;
    uint64_t inverted = ~uint64_t{0};
    double half = 0.0;

    static Value of(uint64_t n) { return {n, n * 3, ~n, static_cast<double>(n) / 2}; }
    bool whole() const { return *this == of(number); }
    bool operator==(const Value&) const = default;
};

// Spins until `flag` is set; false after two seconds, so a side that waits
// for the other fails the test instead of hanging it.
bool awaitFlag(const std::atomic<bool>& flag) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!flag.load(std::memory_order_acquire)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

// Stops the reader just before its copy and the writer just before it makes
// its publication current, once each when armed.
struct ForcedPauses {
    static inline std::atomic<bool> readerArmed{false}, readerParked{false};
    static inline std::atomic<bool> writerArmed{false}, writerParked{false};
    static inline std::atomic<bool> readerDone{false}, waitedTooLong{false};

    static void readerBeforeCopy() {
        if (!readerArmed.exchange(false)) return;
        readerParked.store(true, std::memory_order_release);
        if (!awaitFlag(writerParked)) waitedTooLong.store(true);
    }
    static void writerBeforeMakingCurrent() {
        if (!writerArmed.exchange(false)) return;
        writerParked.store(true, std::memory_order_release);
        if (!awaitFlag(readerDone)) waitedTooLong.store(true);
    }
};

// The reader is sent to slot 1 for publication 1 and stopped; the writer
// then publishes 2 and rewrites slot 1 with 3, and stalls before making 3
// current. The reader must neither keep 3 (its next read would find 2 still
// current and go back) nor wait for the stalled writer.
TEST(PublishedTest, ALappedReaderNeitherGoesBackNorWaitsForAStalledWriter) {
    Published<Value, ForcedPauses> published;
    published.publish(Value::of(1));
    ForcedPauses::readerArmed.store(true);

    Value first, second;
    std::thread reader([&] {
        first = published.read();
        second = published.read();
        ForcedPauses::readerDone.store(true, std::memory_order_release);
    });
    ASSERT_TRUE(awaitFlag(ForcedPauses::readerParked));
    published.publish(Value::of(2));
    ForcedPauses::writerArmed.store(true);
    published.publish(Value::of(3));
    reader.join();

    EXPECT_FALSE(ForcedPauses::waitedTooLong.load());
    EXPECT_TRUE(first.whole() && second.whole());
    EXPECT_EQ(first.number, 2u) << "the reader kept the copy of a slot rewritten under it";
    EXPECT_EQ(second.number, 2u);
    EXPECT_EQ(published.read(), Value::of(3));
}

// A real writer publishing as fast as it can against two readers, each
// checking every read. The writer goes on until each reader has read many
// times, so a loaded machine that starts the readers late still races them.
TEST(PublishedTest, ReadersUnderAFastWriterSeeWholeValuesInOrder) {
    Published<Value> published;
    EXPECT_EQ(published.read(), Value::of(0));
    constexpr uint64_t kPublications = 300000;
    constexpr uint64_t kReadsEach = 10000;
    std::atomic<bool> done{false};
    struct Tally {
        std::atomic<uint64_t> reads{0};
        uint64_t torn = 0, backwards = 0;
    };
    std::vector<Tally> tallies(2);
    const auto everyReaderHasRead = [&] {
        for (const Tally& tally : tallies)
            if (tally.reads.load(std::memory_order_relaxed) < kReadsEach) return false;
        return true;
    };
    std::vector<std::thread> readers;
    for (Tally& tally : tallies) {
        readers.emplace_back([&] {
            uint64_t last = 0;
            while (!done.load(std::memory_order_acquire)) {
                const Value value = published.read();
                tally.reads.fetch_add(1, std::memory_order_relaxed);
                tally.torn += !value.whole();
                tally.backwards += value.number < last;
                last = value.number;
            }
        });
    }
    uint64_t publications = 0;
    while (publications < kPublications || !everyReaderHasRead()) published.publish(Value::of(++publications));
    done.store(true, std::memory_order_release);
    for (std::thread& reader : readers) reader.join();
    for (const Tally& tally : tallies) {
        EXPECT_GE(tally.reads.load(), kReadsEach);
        EXPECT_EQ(tally.torn, 0u);
        EXPECT_EQ(tally.backwards, 0u);
    }
    EXPECT_EQ(published.read(), Value::of(publications));
}

}  // namespace
}  // namespace cl::test
