#pragma once
// A value one thread publishes and any thread reads, without either ever
// waiting for the other: two slots, each under a sequence counter.
//
// The rule both sides keep: the writer only ever writes the slot that is not
// current, marking it odd before and even after, and then makes it current;
// a reader copies the current slot and keeps the copy only if the slot's
// counter was even and unchanged across the copy. A writer stalled half-way
// through a slot therefore holds up no reader: they keep reading the other,
// complete slot. Every word is an atomic, so a torn copy is a race the
// counter detects, never undefined behaviour.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace cl {

template <class T>
class Published {
    static_assert(std::is_trivially_copyable_v<T>);
    static constexpr std::size_t kWords = (sizeof(T) + sizeof(uint64_t) - 1) / sizeof(uint64_t);
    using Words = std::array<uint64_t, kWords>;

public:
    explicit Published(const T& initial = T{}) {
        const Words words = toWords(initial);
        for (Slot& slot : slots_) {
            for (std::size_t i = 0; i < kWords; ++i) slot.words[i].store(words[i], std::memory_order_relaxed);
        }
    }
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    // One writer at a time. Allocates nothing and takes no lock.
    void publish(const T& value) {
        const uint64_t version = version_.load(std::memory_order_relaxed);
        Slot& slot = slots_[(version + 1) & 1];
        const uint64_t sequence = slot.sequence.load(std::memory_order_relaxed);
        slot.sequence.store(sequence + 1, std::memory_order_relaxed);
        // Release stores keep the odd mark ahead of every word: a reader that
        // sees any new word also sees the mark when it checks again.
        const Words words = toWords(value);
        for (std::size_t i = 0; i < kWords; ++i) slot.words[i].store(words[i], std::memory_order_release);
        slot.sequence.store(sequence + 2, std::memory_order_release);
        version_.store(version + 1, std::memory_order_release);
    }

    // Any thread. Retries only when the writer rewrote the slot being copied,
    // which takes two publications during one copy.
    T read() const {
        Words words;
        for (;;) {
            const Slot& slot = slots_[version_.load(std::memory_order_acquire) & 1];
            const uint64_t before = slot.sequence.load(std::memory_order_acquire);
            if ((before & 1) != 0) continue;
            // Acquire loads keep the second look at the counter behind them.
            for (std::size_t i = 0; i < kWords; ++i) words[i] = slot.words[i].load(std::memory_order_acquire);
            if (slot.sequence.load(std::memory_order_relaxed) == before) break;
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
        std::array<std::atomic<uint64_t>, kWords> words;
    };
    std::array<Slot, 2> slots_;
    std::atomic<uint64_t> version_{0};
};

}  // namespace cl
