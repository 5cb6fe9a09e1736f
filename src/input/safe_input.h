#pragma once
// Safe input: events wait in a queue and a dispatcher thread delivers them to
// the game's callbacks, never while the game holds the input lock.
//
// The input lock is a flag under mutex_, not a mutex held across calls, so
// the game may release it from any thread (unlocking a std::mutex from a
// thread that does not own it is undefined) and producers never wait for the
// game: mutex_ is only ever held for a few instructions, never while a
// callback runs or while the game holds the input lock.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "input/input_callbacks.h"
#include "input/input_event.h"
#include "platform/thread_start.h"

namespace cl {

class SafeInput {
public:
    explicit SafeInput(const InputCallbacks& callbacks) : callbacks_(callbacks) {}
    ~SafeInput() { stop(); }
    SafeInput(const SafeInput&) = delete;
    SafeInput& operator=(const SafeInput&) = delete;

    // Starts the dispatcher with the input lock held by the game, so nothing
    // is delivered before the first unlock. False when the thread could not start.
    bool start(const ThreadStarter& starter);
    // Releases the game's lock, lets the dispatcher deliver what is queued,
    // joins it and drops anything left. Does nothing when not started.
    void stop();

    // Any thread; never waits for the game or for a callback.
    void push(const InputEvent& event);

    // False when the game already holds the lock. Waits while a batch is
    // delivered. Once stop has begun it takes nothing: what was queued
    // before stop is delivered all the same.
    bool lockForGame();
    // False when the game does not hold the lock. Returns once every event
    // queued before or during the call has been passed to the callbacks.
    bool unlockForGame();

    // True on the dispatcher thread, where the game's callbacks run.
    bool onDispatcherThread() const;

    // True when the dispatcher waits and has looked at the queue since the
    // last push: it had its chance to deliver. Lets tests check that held
    // events stay held without waiting for a time.
    bool dispatcherIdle() const;

private:
    void dispatch();

    const InputCallbacks& callbacks_;
    std::thread dispatcher_;
    std::thread::id dispatcherId_;  // written before start returns, read by callers of the lock calls

    // Hand-off: producers append to queue_ under mutex_ and notify; the
    // dispatcher takes the whole queue under mutex_ only while gameHolds_ is
    // clear, marks delivering_, and delivers outside the mutex. lockForGame
    // waits for delivering_ to clear before it sets gameHolds_, so no callback
    // runs while the game holds the lock, and every state change is notified
    // under or right after mutex_, so no wait misses its wake-up.
    mutable std::mutex mutex_;
    std::condition_variable signal_;
    std::deque<InputEvent> queue_;
    bool gameHolds_ = false;       // the game holds the input lock
    bool delivering_ = false;      // the dispatcher runs callbacks of a batch it took
    bool running_ = false;         // the dispatcher keeps going
    uint64_t pushes_ = 0;          // events pushed so far
    uint64_t pushesSeenIdle_ = 0;  // pushes_ when the dispatcher last went back to waiting
};

}  // namespace cl
