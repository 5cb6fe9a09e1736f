// Native builds have no system-wide hooks, key states or XInput: every
// service answers as a system without them would, so the default and
// polling providers fail their Init cleanly and initinput reports it.
#include <unistd.h>

#include "platform/input_platform.h"

namespace cl::platform {
namespace {

class NoWindows final : public WindowQuery {
public:
    WindowHandle windowFromPoint(ScreenPoint) override { return 0; }
    uint32_t windowProcessId(WindowHandle) override { return 0; }
    uint32_t currentProcessId() override { return static_cast<uint32_t>(::getpid()); }
    bool screenToClient(WindowHandle, ScreenPoint&) override { return false; }
    bool clientRect(WindowHandle, ClientRect&) override { return false; }
};

class NoKeyPolling final : public KeyPolling {
public:
    bool createStopEvent() override { return false; }
    void signalStop() override {}
    void closeStopEvent() override {}
    WaitOutcome waitForStop(uint32_t&, uint32_t&) override { return WaitOutcome::Signalled; }
    void sleepMs(uint32_t) override {}
    bool startThread(std::thread&, std::function<void()>) override { return false; }
    bool keyDown(uint32_t) override { return false; }
    bool cursorPos(ScreenPoint&, uint32_t&) override { return false; }
};

class NoLibraries final : public DynamicLibraries {
public:
    uintptr_t load(const char*) override { return 0; }
    void* symbol(uintptr_t, const char*) override { return nullptr; }
    void free(uintptr_t) override {}
};

class NoControllerSignals final : public ControllerSignals {
public:
    bool create() override { return true; }
    void close() override {}
    void signalStop() override {}
    bool stopSignalled() override { return true; }
    void setPresent(bool) override {}
    void waitForStopOrPresent() override {}
    void sleepMs(uint32_t) override {}
    void raiseThreadPriority() override {}
    bool startThread(std::thread&, std::function<void()>) override { return false; }
};

class NoHooks final : public HookThread {
public:
    bool start(HookProcedures&) override { return false; }
    void stop() override {}
};

}  // namespace

InputPlatform makeInputPlatform() {
    InputPlatform platform;
    platform.windows = std::make_unique<NoWindows>();
    platform.polling = std::make_unique<NoKeyPolling>();
    platform.libraries = std::make_unique<NoLibraries>();
    platform.controllerSignals = std::make_unique<NoControllerSignals>();
    platform.hooks = std::make_unique<NoHooks>();
    return platform;
}

}  // namespace cl::platform
