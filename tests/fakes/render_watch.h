#pragma once
// Watches what the render path does: which thread renders, every
// allocation of the test program (operator new, and malloc, calloc and
// realloc through the linker's --wrap) and every lock it takes (the pthread
// mutex, read-write lock and condition calls, also through --wrap), so tests
// can show that rendering neither allocates nor locks, also on a thread's
// first render.
#include <cstdint>

namespace cl::test {

// Every allocation of the program so far.
int64_t allocationCount();
// Allocations made on a thread while it was marked as rendering.
int64_t renderAllocationCount();
// Every lock call of the program so far, and those made while rendering.
int64_t lockCount();
int64_t renderLockCount();

// Marks the calling thread as rendering for the scope's life. One thread
// renders at a time, as with a real output.
class RenderingScope {
public:
    RenderingScope();
    ~RenderingScope();
    RenderingScope(const RenderingScope&) = delete;
    RenderingScope& operator=(const RenderingScope&) = delete;

private:
    uint32_t previous_;
};

bool onRenderingThread();

}  // namespace cl::test
