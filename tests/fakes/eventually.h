#pragma once
// Waiting for another thread in a test without sleeping for a fixed time.
#include <chrono>
#include <thread>

namespace cl::test {

// Polls a condition until it holds; false after 30 s. A bound, not a pace:
// passing tests never reach it.
template <class Condition>
bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace cl::test
