#pragma once
// What the default input provider asks of the system for controllers: the
// XInput library, loaded at run time, two manual-reset events (stop and
// controller present), the controller thread and its pace.
#include <cstdint>
#include <functional>
#include <thread>

namespace cl::platform {

// Laid out as XINPUT_STATE (the win32 layer checks the layout).
struct GamepadState {
    uint16_t buttons = 0;
    uint8_t leftTrigger = 0;
    uint8_t rightTrigger = 0;
    int16_t thumbLX = 0;
    int16_t thumbLY = 0;
    int16_t thumbRX = 0;
    int16_t thumbRY = 0;
};
struct XInputState {
    uint32_t packetNumber = 0;
    GamepadState gamepad;
};

// XInputGetState's signature; the calling convention is the same on x86-64.
using XInputGetStateFn = uint32_t (*)(uint32_t slot, XInputState* state);

inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorDeviceNotConnected = 1167;

class DynamicLibraries {
public:
    virtual ~DynamicLibraries() = default;
    virtual uintptr_t load(const char* name) = 0;  // 0 when it fails
    virtual void* symbol(uintptr_t library, const char* name) = 0;
    virtual void free(uintptr_t library) = 0;
};

class ControllerSignals {
public:
    virtual ~ControllerSignals() = default;
    // Creates both events, not signalled; false (nothing left open) when either fails.
    virtual bool create() = 0;
    virtual void close() = 0;
    virtual void signalStop() = 0;
    virtual bool stopSignalled() = 0;  // without waiting
    virtual void setPresent(bool present) = 0;
    // Blocks until the stop event or the present event is signalled.
    virtual void waitForStopOrPresent() = 0;

    virtual void sleepMs(uint32_t milliseconds) = 0;
    virtual void raiseThreadPriority() = 0;  // the calling thread, to highest
    virtual bool startThread(std::thread& thread, std::function<void()> body) = 0;
};

}  // namespace cl::platform
