#pragma once
// The thread that owns the low-level keyboard and mouse hooks and their
// message-only window. The system calls the hooks on it; the win32 layer
// passes every event on to the next hook after HookProcedures saw it.
#include <cstdint>

namespace cl::platform {

class HookProcedures {
public:
    virtual ~HookProcedures() = default;
    // nCode and wParam as the system gives them; only the fields used are
    // passed. seenAt: the counter (platform/counter.h) as the procedure began.
    virtual void keyboard(int32_t nCode, uintptr_t wParam, uint32_t vkCode, int64_t seenAt) = 0;
    virtual void mouse(int32_t nCode, uintptr_t wParam, int32_t x, int32_t y, uint32_t mouseData, int64_t seenAt) = 0;
};

class HookThread {
public:
    virtual ~HookThread() = default;
    // Starts the thread that installs both hooks and pumps messages; false
    // when the thread cannot start. One hook thread at a time per process.
    virtual bool start(HookProcedures& procedures) = 0;
    // Removes the hooks, closes the window and waits for the thread to end.
    virtual void stop() = 0;
};

}  // namespace cl::platform
