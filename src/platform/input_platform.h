#pragma once
// The system services of the input providers, one set per process.
#include <memory>

#include "platform/controllers.h"
#include "platform/hook_thread.h"
#include "platform/key_polling.h"
#include "platform/window_query.h"

namespace cl::platform {

struct InputPlatform {
    std::unique_ptr<WindowQuery> windows;
    std::unique_ptr<KeyPolling> polling;
    std::unique_ptr<DynamicLibraries> libraries;
    std::unique_ptr<ControllerSignals> controllerSignals;
    std::unique_ptr<HookThread> hooks;
};

// The real services: on Windows the system's; natively stand-ins whose hook
// thread and XInput never start, so the default input provider fails cleanly.
InputPlatform makeInputPlatform();

}  // namespace cl::platform
