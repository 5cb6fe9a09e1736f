#pragma once
// The game's two callbacks. Stored by initinput before any provider or the
// dispatcher starts; read by those threads, so atomics (release on store,
// acquire on load) make the pair visible to them whatever starts them.
#include <atomic>
#include <cstdint>
#include <optional>

#include "cantrelle.h"
#include "input/input_event.h"

namespace cl {

struct InputCallbacks {
    std::atomic<InputCallback> onPress{nullptr};
    std::atomic<InputCallback> onRelease{nullptr};

    // Calls the callback of the event's kind; a null callback drops it.
    void deliver(const InputEvent& event) const {
        const InputCallback callback = (event.pressed ? onPress : onRelease).load(std::memory_order_acquire);
        if (callback == nullptr) return;
        struct Scope {
            const InputCallbacks* outer = delivering;
            int64_t outerSeenAt = deliveringSeenAt;
            ~Scope() {
                delivering = outer;
                deliveringSeenAt = outerSeenAt;
            }
        } scope;
        delivering = this;
        deliveringSeenAt = event.seenAt;
        callback(event.source, event.code);
    }

    // True while one of these callbacks runs on the calling thread, whichever
    // thread delivers it: the dispatcher, or a provider's own thread when
    // safe input is off.
    bool inCallbackOnThisThread() const { return delivering == this; }
    // The time the delivered event was seen, while its callback runs here.
    std::optional<int64_t> deliveredSeenAt() const {
        if (!inCallbackOnThisThread()) return std::nullopt;
        return deliveringSeenAt;
    }

private:
    // Per thread, so a provider thread knows it is inside a callback without
    // any shared state; restored on return, so nested cores stay apart.
    static inline thread_local const InputCallbacks* delivering = nullptr;
    static inline thread_local int64_t deliveringSeenAt = 0;
};

}  // namespace cl
