#pragma once
// A bound on a call that must return: a hang fails loudly instead of
// stalling the whole test run. The guarded call runs on the test's own
// thread (calls bound to the main thread stay there); a watchdog waits for
// the guard to be done and ends the process if it never is, since the hung
// call still holds the test's objects.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace cl::test {

class HangGuard {
public:
    explicit HangGuard(std::string what, std::chrono::seconds limit = std::chrono::seconds(30))
        : what_(std::move(what)) {
        watchdog_ = std::thread([this, limit] {
            std::unique_lock<std::mutex> lock(mutex_);
            if (signal_.wait_for(lock, limit, [this] { return done_; })) return;
            std::fprintf(stderr, "HANG: %s did not return within %lld s\n", what_.c_str(),
                         static_cast<long long>(limit.count()));
            std::fflush(stderr);
            std::abort();
        });
    }
    ~HangGuard() {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            done_ = true;
        }
        signal_.notify_all();
        watchdog_.join();
    }
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;

private:
    std::string what_;
    std::mutex mutex_;
    std::condition_variable signal_;
    bool done_ = false;
    std::thread watchdog_;
};

// Runs `call` under a guard: returns once the call has.
template <class Call>
void returnsInTime(const std::string& what, Call call) {
    HangGuard guard(what);
    call();
}

}  // namespace cl::test
