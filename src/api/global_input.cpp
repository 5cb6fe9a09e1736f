#include "api/global_input.h"

#include "api/global_engine.h"
#include "input/input_registry.h"

namespace cl {
namespace {

struct LibraryInput {
    platform::InputPlatform platform = platform::makeInputPlatform();
    InputCore core{engine().log, defaultInputProviders(platform)};
    LibraryInput() { engine().inputTicker.store(&core, std::memory_order_release); }
};

}  // namespace

// Built on first use and never destroyed: at process exit the input threads
// are already gone, and a library unloaded with input still up could not
// join them while the system holds its loader lock. The game calls freeinput.
InputCore& input() {
    static LibraryInput* const instance = new LibraryInput;
    return instance->core;
}

}  // namespace cl
