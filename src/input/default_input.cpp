#include "input/default_input.h"

#include "core/log.h"

namespace cl {

namespace {
constexpr uint32_t kSlots = 4;
}

// The first library that loads and has XInputGetState. One that loads
// without it counts as missing: its address would be null.
//
// Once loaded it stays loaded for the life of the process: Wine's XInput
// starts a device thread on first use that keeps running after FreeLibrary
// has unmapped its code, so freeing it crashes the game a moment after
// freeinput. Keeping one library loaded costs nothing on Windows.
bool DefaultInput::loadXInput() {
    if (getState_ != nullptr) return true;
    for (const char* name : {"XInput1_4.dll", "XInput9_1_0.dll"}) {
        const uintptr_t library = libraries_.load(name);
        if (library == 0) continue;
        void* address = libraries_.symbol(library, "XInputGetState");
        if (address == nullptr) {
            libraries_.free(library);
            continue;
        }
        xinput_ = library;
        getState_ = reinterpret_cast<platform::XInputGetStateFn>(address);
        return true;
    }
    return false;
}

bool DefaultInput::Init(InputHost& host, bool, bool handleControllers) {
    if (running_) return false;
    if (!signals_.create()) return false;
    if (!loadXInput()) {
        signals_.close();
        return false;
    }
    host_ = &host;
    connectedMask_.store(enumerateControllers(), std::memory_order_relaxed);
    hookLogic_ = std::make_unique<HookLogic>(host, windows_);
    if (!hooks_.start(*hookLogic_)) {
        signals_.close();
        hookLogic_.reset();
        return false;
    }
    running_ = true;
    if (!handleControllers) return true;
    held_ = std::make_unique<ControllerHeld>(host);
    // Without its thread, keyboard and mouse still work: Init succeeds.
    signals_.startThread(controllerThread_, [this] { controllerThread(); });
    return true;
}

void DefaultInput::Shutdown() {
    if (!running_) return;
    hooks_.stop();  // removes both hooks, closes the window, joins the thread
    signals_.signalStop();
    if (controllerThread_.joinable()) controllerThread_.join();
    signals_.close();    // XInput stays loaded: see loadXInput
    hookLogic_.reset();  // hookKeyDown goes with it
    connectedMask_.store(0, std::memory_order_relaxed);
    running_ = false;
}

void DefaultInput::Tick() {
    if (!controllerThread_.joinable()) return;
    const uint32_t mask = enumerateControllers();
    connectedMask_.store(mask, std::memory_order_relaxed);
    signals_.setPresent(mask != 0);
}

uint32_t DefaultInput::enumerateControllers() {
    uint32_t mask = 0;
    for (uint32_t slot = 0; slot < kSlots; ++slot) {
        platform::XInputState state;
        const uint32_t result = getState_(slot, &state);
        if (result == platform::kErrorSuccess) {
            mask |= 1u << slot;
        } else if (result != platform::kErrorDeviceNotConnected) {
            host_->log().message(3, "[CL] [tid=%4x] Controller %d error [%d]\n", tid(), static_cast<int>(slot),
                                 static_cast<int>(result));
        }
    }
    return mask;
}

void DefaultInput::controllerThread() {
    signals_.raiseThreadPriority();
    if (signals_.stopSignalled()) return;
    // Only the very first pass is silent: controls already down then are
    // the player's hands resting, not presses. Used up even with no
    // controller, so one connected later reports what is held.
    bool first = true;
    uint32_t previousMask = 0;
    for (;;) {
        const bool silent = first;
        first = false;
        const uint32_t mask = connectedMask_.load(std::memory_order_relaxed);
        // A pad that tick no longer finds holds nothing: what only it held is released.
        for (uint32_t slot = 0; slot < kSlots; ++slot) {
            if ((previousMask & ~mask & (1u << slot)) != 0) held_->letGo(slot, host_->counterNow());
        }
        previousMask = mask;
        if (mask == 0) {
            signals_.waitForStopOrPresent();
        } else {
            for (uint32_t slot = 0; slot < kSlots; ++slot) {
                if ((mask & (1u << slot)) == 0) continue;
                platform::XInputState state;
                const uint32_t result = getState_(slot, &state);
                const int64_t seenAt = host_->counterNow();
                if (result == platform::kErrorDeviceNotConnected) {
                    held_->letGo(slot, seenAt);  // unplugged: a held control must not stick down
                    continue;
                }
                if (result != platform::kErrorSuccess) {
                    host_->log().message(
                        3, "[CL] [tid=%4x] Failed to get controller %d state [%#x]; should be removed next tick\n",
                        tid(), static_cast<int>(slot), result);
                    continue;
                }
                held_->updateFromState(slot, state.gamepad, silent, seenAt);
            }
            signals_.sleepMs(1);
        }
        if (signals_.stopSignalled()) return;
    }
}

}  // namespace cl
