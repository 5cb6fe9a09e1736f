#include "api/global_input.h"

#include "api/global_engine.h"
#include "input/input_registry.h"
#include "platform/thread.h"

#include <atomic>

namespace cl {
namespace {

struct LibraryInput {
    platform::InputPlatform platform = platform::makeInputPlatform();
    InputCore core{engine().log, defaultInputProviders(platform)};
    LibraryInput() { engine().inputTicker.store(&core, std::memory_order_release); }
};

// Frees the input core when the library unloads, unless input is still up
// then: its threads cannot be joined while the system holds its loader
// lock, so the core of a game that never called freeinput stays behind.
// Down, the core holds no thread and no library, and goes without waiting.
// At process exit it stays too, up or down: a thread the system ended inside
// initinput may hold the locks its teardown takes (api/left_at_process_exit.h).
struct InputOwner {
    std::atomic<LibraryInput*> built{nullptr};  // constant-initialised: ready before any export runs
    ~InputOwner() {
        LibraryInput* input = built.load(std::memory_order_acquire);
        if (input != nullptr && !platform::processIsExiting() && !input->core.initialised()) delete input;
    }
};
InputOwner owner;

}  // namespace

// Built on first use.
InputCore& input() {
    static LibraryInput* const instance = [] {
        auto* made = new LibraryInput;
        owner.built.store(made, std::memory_order_release);
        return made;
    }();
    return instance->core;
}

}  // namespace cl
