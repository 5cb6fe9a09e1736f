#pragma once
// The input core: picks providers from the registry, hands their presses and
// releases to the game directly or through safe input, and owns the flags
// the providers read.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "core/log.h"
#include "input/input_callbacks.h"
#include "input/input_provider.h"
#include "input/input_ticker.h"
#include "input/safe_input.h"
#include "platform/counter.h"

namespace cl {

// The arguments of initinput that decide something on this platform.
struct InputInitArgs {
    bool focused = false;
    InputCallback onPress = nullptr;
    InputCallback onRelease = nullptr;
    bool alternativeControllers = false;
    bool disableSafeInput = false;
    bool alternativeInput = false;
};

class InputCore final : public InputHost, public InputTicker {
public:
    InputCore(Logger& log, InputProviderRegistry registry, ThreadStarter starter = startThread);
    // Frees input if it is still up, so no provider thread outlives the core.
    ~InputCore() override;
    InputCore(const InputCore&) = delete;
    InputCore& operator=(const InputCore&) = delete;

    bool initInput(const InputInitArgs& args);
    void freeInput();
    void lockInput();
    void unlockInput();
    void onFocus(bool focused) { focused_.store(focused, std::memory_order_relaxed); }
    void setAcceptMouse(bool accept) { acceptMouse_.store(accept, std::memory_order_relaxed); }

    bool initialised() const { return initialised_.load(std::memory_order_acquire); }
    // For tests: the dispatcher has looked at every queued event and waits.
    bool dispatcherIdle() const { return safe_.dispatcherIdle(); }
    // Inside a press or release callback on the calling thread, in either
    // delivery mode: the counter value at which the event was seen.
    std::optional<int64_t> deliveredEventSeenAt() const { return callbacks_.deliveredSeenAt(); }

    // InputHost: any thread.
    void emitPress(uint32_t source, uint32_t code, int64_t seenAt) override { emit({source, code, 1, seenAt}); }
    void emitRelease(uint32_t source, uint32_t code, int64_t seenAt) override { emit({source, code, 0, seenAt}); }
    int64_t counterNow() const override { return platform::counterNow(); }
    bool focused() const override { return focused_.load(std::memory_order_relaxed); }
    bool acceptMouse() const override { return acceptMouse_.load(std::memory_order_relaxed); }
    Logger& log() override { return log_; }

    // InputTicker: tick, on any thread.
    void tickInputProviders() override;

private:
    bool bringUp(const InputInitArgs& args, uintptr_t& unusedHold);
    void emit(const InputEvent& event);
    void shutDownProviders();
    // A callback that calls lockinput, unlockinput or freeinput would wait
    // for its own batch (or, with safe input off, its own provider thread)
    // to end: refused with a line instead.
    bool refuseFromCallback(const char* operation);
    bool mayLockOrUnlock(const char* operation);

    Logger& log_;
    InputProviderRegistry registry_;
    ThreadStarter starter_;

    // Serialises initinput, freeinput and tick, so a tick never runs a
    // provider that is being shut down. Never held while waiting for the
    // dispatcher or by a provider thread.
    std::mutex lifecycle_;
    std::vector<uint32_t> activeProviders_;  // guarded by lifecycle_
    // The library's own module, held while input is up; guarded by lifecycle_.
    uintptr_t libraryHold_ = 0;

    std::atomic<bool> initialised_{false};
    // Read by provider threads on every event; written before they start
    // (initinput) and after they end (freeinput).
    std::atomic<bool> safeInput_{false};
    std::atomic<bool> focused_{false};
    std::atomic<bool> acceptMouse_{false};
    InputCallbacks callbacks_;
    SafeInput safe_{callbacks_};
};

}  // namespace cl
