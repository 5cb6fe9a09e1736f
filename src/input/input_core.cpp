#include "input/input_core.h"

#include <utility>

#include "platform/own_library.h"

namespace cl {

InputCore::InputCore(Logger& log, InputProviderRegistry registry, ThreadStarter starter)
    : log_(log), registry_(std::move(registry)), starter_(std::move(starter)) {}

InputCore::~InputCore() {
    if (initialised()) freeInput();
}

bool InputCore::initInput(const InputInitArgs& args) {
    // A callback runs while input is up or going down, perhaps inside a
    // freeinput that holds lifecycle_ and waits for this very thread.
    if (refuseFromCallback("InitInput")) return false;
    uintptr_t unusedHold = 0;
    bool up = false;
    {
        HeldLines held(log_);  // logged once lifecycle_ is free: a receiver may call back in
        std::lock_guard<std::mutex> guard(lifecycle_);
        up = bringUp(args, unusedHold);
    }
    platform::releaseOwnLibrary(unusedHold);
    return up;
}

// Under lifecycle_. On failure, `unusedHold` is a library hold to drop once
// the lock is free.
bool InputCore::bringUp(const InputInitArgs& args, uintptr_t& unusedHold) {
    if (initialised()) {
        log_.message(3, "[CL] [tid=%4x] Input is already initialised\n", tid());
        return false;
    }
    const uint32_t keyboardId = args.alternativeInput ? kPollingInput : kDefaultInput;
    const uint32_t controllerId =
        args.alternativeInput || args.alternativeControllers ? kControllerInput : kDefaultInput;
    InputProvider* keyboard = registry_.find(keyboardId);
    if (keyboard == nullptr) {
        log_.message(3, "[CL] [tid=%4x] Specified keyboard input provider is not available on this platform\n", tid());
        return false;
    }
    InputProvider* controller = registry_.find(controllerId);
    if (controller == nullptr) {
        log_.message(3, "[CL] [tid=%4x] Specified controller input provider is not available on this platform\n",
                     tid());
        return false;
    }

    // Stored before any provider thread starts: they read these on every event.
    focused_.store(args.focused, std::memory_order_relaxed);
    callbacks_.onPress.store(args.onPress, std::memory_order_release);
    callbacks_.onRelease.store(args.onRelease, std::memory_order_release);
    safeInput_.store(!args.disableSafeInput, std::memory_order_release);

    // Taken before the first thread or hook of ours exists, so none of them
    // ever runs in a library the game has unloaded.
    unusedHold = platform::holdOwnLibrary();
    if (!keyboard->Init(*this, true, keyboardId == controllerId)) {
        log_.message(3, "[CL] [tid=%4x] Failed to initialise input\n", tid());
        return false;
    }
    activeProviders_.push_back(keyboardId);
    if (controllerId != keyboardId) {
        if (!controller->Init(*this, false, true)) {
            log_.message(3, "[CL] [tid=%4x] Failed to initiailise controller input\n", tid());
            shutDownProviders();
            return false;
        }
        activeProviders_.push_back(controllerId);
    }

    // Events gathered before the game's first unlockinput wait in the queue.
    if (!args.disableSafeInput && !safe_.start(starter_)) {
        shutDownProviders();
        log_.message(3, "[CL] [tid=%4x] Failed to start input dispatcher thread\n", tid());
        return false;
    }
    libraryHold_ = std::exchange(unusedHold, 0);
    acceptMouse_.store(true, std::memory_order_relaxed);
    initialised_.store(true, std::memory_order_release);
    return true;
}

void InputCore::freeInput() {
    if (refuseFromCallback("FreeInput")) return;
    uintptr_t hold = 0;
    {
        HeldLines held(log_);
        std::lock_guard<std::mutex> guard(lifecycle_);
        if (!initialised()) {
            log_.message(3, "[CL] [tid=%4x] Input is not initialised\n", tid());
            return;
        }
        // Provider threads have ended when this returns: nothing is produced after it.
        shutDownProviders();
        safe_.stop();
        focused_.store(false, std::memory_order_relaxed);
        callbacks_.onPress.store(nullptr, std::memory_order_release);
        callbacks_.onRelease.store(nullptr, std::memory_order_release);
        safeInput_.store(false, std::memory_order_release);
        acceptMouse_.store(false, std::memory_order_relaxed);
        initialised_.store(false, std::memory_order_release);
        hold = std::exchange(libraryHold_, 0);
    }
    // Last, once no thread or hook of ours is left: the game's own reference
    // keeps the library loaded until this call returns.
    platform::releaseOwnLibrary(hold);
}

// The refusals lockinput and unlockinput share, in their order.
bool InputCore::mayLockOrUnlock(const char* operation) {
    if (!initialised()) {
        log_.message(3, "[CL] [tid=%4x] Input has not been initialised\n", tid());
        return false;
    }
    if (!safeInput_.load(std::memory_order_acquire)) {
        log_.message(3, "[CL] [tid=%4x] Global locking of input is ineffective when safe input is disabled\n", tid());
        return false;
    }
    return !refuseFromCallback(operation);
}

void InputCore::lockInput() {
    if (!mayLockOrUnlock("LockInput")) return;
    if (!safe_.lockForGame())
        log_.message(3, "[CL] [tid=%4x] Tried to lock input, but input was already locked\n", tid());
}

void InputCore::unlockInput() {
    if (!mayLockOrUnlock("UnlockInput")) return;
    if (!safe_.unlockForGame()) {
        log_.message(3, "[CL] [tid=%4x] Tried to unlock input, but input was already unlocked\n", tid());
    }
}

void InputCore::tickInputProviders() {
    // Busy means initinput or freeinput is running, perhaps waiting for the
    // very callback that called tick: skipping one tick is harmless, waiting
    // would never end.
    HeldLines held(log_);  // a provider's Tick may log; the lock is released first
    std::unique_lock<std::mutex> guard(lifecycle_, std::try_to_lock);
    if (!guard.owns_lock() || !initialised()) return;
    for (uint32_t id : activeProviders_) registry_.find(id)->Tick();
}

void InputCore::emit(const InputEvent& event) {
    if (safeInput_.load(std::memory_order_acquire)) {
        safe_.push(event);
    } else {
        callbacks_.deliver(event);  // on the provider's thread, no lock held
    }
}

void InputCore::shutDownProviders() {
    for (uint32_t id : activeProviders_) registry_.find(id)->Shutdown();
    activeProviders_.clear();
}

bool InputCore::refuseFromCallback(const char* operation) {
    // With safe input off a callback runs on a provider's thread, which
    // freeinput would wait for: from inside the callback, for ever.
    if (!safe_.onDispatcherThread() && !callbacks_.inCallbackOnThisThread()) return false;
    log_.message(3, "[CL] [tid=%4x] %s cannot be called from an input callback\n", tid(), operation);
    return true;
}

}  // namespace cl
