#include "input/safe_input.h"

#include <utility>

namespace cl {

bool SafeInput::start(const ThreadStarter& starter) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        running_ = true;
        gameHolds_ = true;
    }
    std::thread thread;
    if (!starter(thread, [this] { dispatch(); })) {
        std::lock_guard<std::mutex> guard(mutex_);
        running_ = false;
        gameHolds_ = false;
        return false;
    }
    std::lock_guard<std::mutex> guard(mutex_);
    dispatcherId_ = thread.get_id();
    dispatcher_ = std::move(thread);
    return true;
}

void SafeInput::stop() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!dispatcher_.joinable()) return;
        gameHolds_ = false;
        running_ = false;
    }
    signal_.notify_all();
    dispatcher_.join();  // delivers what was queued before it ends
    std::lock_guard<std::mutex> guard(mutex_);
    queue_.clear();
    dispatcherId_ = {};
    delivering_ = false;
}

void SafeInput::push(const InputEvent& event) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        queue_.push_back(event);
        pushes_++;
    }
    signal_.notify_all();
}

bool SafeInput::lockForGame() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (gameHolds_) return false;
    signal_.wait(lock, [this] { return !delivering_ || !running_; });
    // Input is going down: a hold taken now would keep the dispatcher from
    // delivering what was queued before freeinput, and ends with it anyway.
    if (running_) gameHolds_ = true;
    return true;
}

bool SafeInput::unlockForGame() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!gameHolds_) return false;
    gameHolds_ = false;
    signal_.notify_all();
    // Events pushed while we wait are waited for too: the game asked for
    // everything gathered up to its unlock, and producers may keep adding.
    signal_.wait(lock, [this] { return (queue_.empty() && !delivering_) || !running_; });
    return true;
}

bool SafeInput::onDispatcherThread() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return dispatcher_.joinable() && std::this_thread::get_id() == dispatcherId_;
}

bool SafeInput::dispatcherIdle() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return !delivering_ && pushesSeenIdle_ == pushes_;
}

void SafeInput::dispatch() {
    std::deque<InputEvent> batch;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        signal_.wait(lock, [this] {
            const bool wake = (!queue_.empty() && !gameHolds_) || !running_;
            if (!wake) pushesSeenIdle_ = pushes_;
            return wake;
        });
        if (queue_.empty() || gameHolds_) {
            if (!running_) return;
            continue;
        }
        batch.swap(queue_);
        delivering_ = true;
        lock.unlock();
        for (const InputEvent& event : batch) callbacks_.deliver(event);
        batch.clear();
        lock.lock();
        delivering_ = false;
        signal_.notify_all();
    }
}

}  // namespace cl
