#pragma once
// Input provider 0: keyboard and mouse through the hooks, and up to four
// XInput controllers polled by a thread of its own about once a millisecond.
#include <atomic>
#include <cstdint>
#include <thread>

#include "input/controller_state.h"
#include "input/hook_logic.h"
#include "input/input_provider.h"
#include "platform/controllers.h"
#include "platform/hook_thread.h"
#include "platform/window_query.h"

namespace cl {

class DefaultInput final : public InputProvider {
public:
    DefaultInput(platform::DynamicLibraries& libraries, platform::ControllerSignals& signals,
                 platform::HookThread& hooks, platform::WindowQuery& windows)
        : libraries_(libraries), signals_(signals), hooks_(hooks), windows_(windows) {}
    ~DefaultInput() override { Shutdown(); }

    bool Init(InputHost& host, bool handleKeyboard, bool handleControllers) override;
    void Shutdown() override;
    void Tick() override;

    // The controller thread's body; public so tests can run it on their own thread.
    void controllerThread();

private:
    bool loadXInput();
    uint32_t enumerateControllers();

    platform::DynamicLibraries& libraries_;
    platform::ControllerSignals& signals_;
    platform::HookThread& hooks_;
    platform::WindowQuery& windows_;

    InputHost* host_ = nullptr;
    bool running_ = false;
    // Set by the first Init that loads XInput, before any thread starts; kept
    // afterwards (see loadXInput).
    uintptr_t xinput_ = 0;
    platform::XInputGetStateFn getState_ = nullptr;
    // Written by the game's thread (Init, Tick, Shutdown), read once per pass
    // by the controller thread; a single word, relaxed: a pass that sees the
    // old mask polls the old slots, and the next pass sees the new one.
    std::atomic<uint32_t> connectedMask_{0};
    std::unique_ptr<HookLogic> hookLogic_;
    std::unique_ptr<ControllerHeld> held_;
    std::thread controllerThread_;
};

}  // namespace cl
