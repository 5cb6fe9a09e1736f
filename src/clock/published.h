#pragma once
// A value one thread publishes and any thread reads, without either ever
// waiting for the other: two slots, each under a sequence counter and
// stamped with the number of the publication it holds.
//
// The rule both sides keep: the writer only ever writes the slot that is not
// current, marking it odd before and even after, stamps it, and only then
// makes it current (publication n lives in slot n & 1). A reader loads the
// current publication number n, copies slot n & 1, and keeps the copy only
// if the slot's counter was even and unchanged across the copy and its
// stamp is n. The stamp matters: a writer can lap a slow reader, rewriting
// its slot with n + 2 while n + 1 is still current; a copy of n + 2 kept
// then would let the reader's next read fall back to n + 1. Rejected, the
// reader loads the number again and is sent to a slot the writer cannot be
// writing, so a writer stalled anywhere holds up no reader.
// Every word is an atomic, so a torn copy is a race the counter detects,
// never undefined behaviour.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace cl {

// Points where a test can stop one side to force an interleaving; empty
// otherwise.
struct NoPublishPauses {
    static void readerBeforeCopy() {}
    static void writerBeforeMakingCurrent() {}
};

template <class T, class Pauses = NoPublishPauses>
class Published {
    static_assert(std::is_trivially_copyable_v<T>);
    static constexpr std::size_t kWords = (sizeof(T) + sizeof(uint64_t) - 1) / sizeof(uint64_t);
    using Words = std::array<uint64_t, kWords>;

public:
    explicit Published(const T& initial = T{}) {
        // Publication 0 lives in slot 0; slot 1 waits for publication 1.
        const Words words = toWords(initial);
        for (std::size_t i = 0; i < kWords; ++i) slots_[0].words[i].store(words[i], std::memory_order_relaxed);
        slots_[1].stamp.store(1, std::memory_order_relaxed);
    }
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    // One writer at a time. Allocates nothing and takes no lock.
    void publish(const T& value) {
        const uint64_t number = current_.load(std::memory_order_relaxed) + 1;
        Slot& slot = slots_[number & 1];
        const uint64_t sequence = slot.sequence.load(std::memory_order_relaxed);
        slot.sequence.store(sequence + 1, std::memory_order_relaxed);
        // Release stores keep the odd mark ahead of the stamp and every word:
        // a reader that sees any of them also sees the mark when it checks again.
        const Words words = toWords(value);
        slot.stamp.store(number, std::memory_order_release);
        for (std::size_t i = 0; i < kWords; ++i) slot.words[i].store(words[i], std::memory_order_release);
        slot.sequence.store(sequence + 2, std::memory_order_release);
        Pauses::writerBeforeMakingCurrent();
        current_.store(number, std::memory_order_release);
    }

    // Any thread. Retries only when the writer made progress during the
    // copy: it rewrote the slot being copied, or lapped it.
    T read() const {
        Words words;
        for (;;) {
            const uint64_t number = current_.load(std::memory_order_acquire);
            const Slot& slot = slots_[number & 1];
            Pauses::readerBeforeCopy();
            const uint64_t before = slot.sequence.load(std::memory_order_acquire);
            if ((before & 1) != 0) continue;
            // Acquire loads keep the second look at the counter behind them.
            const uint64_t stamp = slot.stamp.load(std::memory_order_acquire);
            for (std::size_t i = 0; i < kWords; ++i) words[i] = slot.words[i].load(std::memory_order_acquire);
            if (slot.sequence.load(std::memory_order_relaxed) == before && stamp == number) break;
        }
        T value;
        std::memcpy(static_cast<void*>(&value), words.data(), sizeof(T));
        return value;
    }

private:
    static Words toWords(const T& value) {
        Words words{};
        std::memcpy(words.data(), &value, sizeof(T));
        return words;
    }

    struct Slot {
        std::atomic<uint64_t> sequence{0};
        std::atomic<uint64_t> stamp{0};
        std::array<std::atomic<uint64_t>, kWords> words{};
    };
    std::array<Slot, 2> slots_;
    std::atomic<uint64_t> current_{0};
};

}  // namespace cl
