#pragma once
// What the polling thread asks of the system: key states, the cursor, and an
// auto-reset stop event it waits on for a millisecond between polls.
#include <cstdint>
#include <functional>
#include <thread>

#include "platform/window_query.h"

namespace cl::platform {

enum class WaitOutcome { Signalled, TimedOut, Failed };

class KeyPolling {
public:
    virtual ~KeyPolling() = default;
    virtual bool createStopEvent() = 0;
    virtual void signalStop() = 0;
    virtual void closeStopEvent() = 0;
    // Waits up to 1 ms for the stop event; on Failed, waitResult and error
    // hold the wait's result and the system's error code.
    virtual WaitOutcome waitForStop(uint32_t& waitResult, uint32_t& error) = 0;
    virtual void sleepMs(uint32_t milliseconds) = 0;
    virtual bool startThread(std::thread& thread, std::function<void()> body) = 0;

    virtual bool keyDown(uint32_t virtualKey) = 0;
    // False with the system's error code when the position is unknown.
    virtual bool cursorPos(ScreenPoint& point, uint32_t& error) = 0;
};

}  // namespace cl::platform
