#pragma once
// The game's two callbacks. Stored by initinput before any provider or the
// dispatcher starts; read by those threads, so atomics (release on store,
// acquire on load) make the pair visible to them whatever starts them.
#include <atomic>

#include "cantrelle.h"
#include "input/input_event.h"

namespace cl {

struct InputCallbacks {
    std::atomic<InputCallback> onPress{nullptr};
    std::atomic<InputCallback> onRelease{nullptr};

    // Calls the callback of the event's kind; a null callback drops it.
    void deliver(const InputEvent& event) const {
        const InputCallback callback = (event.pressed ? onPress : onRelease).load(std::memory_order_acquire);
        if (callback != nullptr) callback(event.source, event.code);
    }
};

}  // namespace cl
