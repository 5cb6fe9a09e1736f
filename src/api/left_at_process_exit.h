#pragma once
// The library's process-wide objects end with the library when a game
// unloads it, but not when the process exits. By then the system has ended
// every other thread, wherever it was: inside a call that held a lock of the
// audio stack (Wine's ALSA stream lock, for one), of the C runtime or of
// ours. A teardown that closes the output, stops a thread or takes a lock
// would wait for that lock for ever, under the loader lock. The system
// reclaims memory, handles and the device itself.
#include <new>
#include <utility>

namespace cl {

using ProcessExitQuery = bool (*)();

// Holds one T, built in place with the holder; destroys it with the holder
// unless `exiting` answers true then.
template <class T>
class LeftAtProcessExit {
public:
    template <class... Args>
    explicit LeftAtProcessExit(ProcessExitQuery exiting, Args&&... args) : exiting_(exiting) {
        ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
    }
    ~LeftAtProcessExit() {
        if (!exiting_()) get().~T();
    }
    LeftAtProcessExit(const LeftAtProcessExit&) = delete;
    LeftAtProcessExit& operator=(const LeftAtProcessExit&) = delete;

    T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

private:
    ProcessExitQuery exiting_;
    alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace cl
