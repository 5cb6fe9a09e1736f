#include "fakes/render_watch.h"

#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "platform/thread.h"

// The real allocators behind the linker's --wrap of the test program.
extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* pointer, size_t size);
int __real_pthread_mutex_lock(pthread_mutex_t* mutex);
int __real_pthread_mutex_trylock(pthread_mutex_t* mutex);
int __real_pthread_rwlock_rdlock(pthread_rwlock_t* lock);
int __real_pthread_rwlock_wrlock(pthread_rwlock_t* lock);
int __real_pthread_rwlock_tryrdlock(pthread_rwlock_t* lock);
int __real_pthread_rwlock_trywrlock(pthread_rwlock_t* lock);
int __real_pthread_cond_wait(pthread_cond_t* condition, pthread_mutex_t* mutex);
}

namespace {
std::atomic<int64_t> allocations{0};
std::atomic<int64_t> renderAllocations{0};
std::atomic<int64_t> locks{0};
std::atomic<int64_t> renderLocks{0};
// Thread id, not a thread_local: on Windows a thread_local is itself
// allocated on first use, from inside the allocator.
std::atomic<uint32_t> renderingThread{0};

void count() {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (cl::test::onRenderingThread()) renderAllocations.fetch_add(1, std::memory_order_relaxed);
}

void countLock() {
    locks.fetch_add(1, std::memory_order_relaxed);
    if (cl::test::onRenderingThread()) renderLocks.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

namespace cl::test {
int64_t allocationCount() { return allocations.load(std::memory_order_relaxed); }
int64_t renderAllocationCount() { return renderAllocations.load(std::memory_order_relaxed); }
int64_t lockCount() { return locks.load(std::memory_order_relaxed); }
int64_t renderLockCount() { return renderLocks.load(std::memory_order_relaxed); }

RenderingScope::RenderingScope() : previous_(renderingThread.exchange(platform::currentThreadId())) {}
RenderingScope::~RenderingScope() { renderingThread.store(previous_); }

bool onRenderingThread() {
    const uint32_t rendering = renderingThread.load(std::memory_order_relaxed);
    return rendering != 0 && rendering == platform::currentThreadId();
}
}  // namespace cl::test

extern "C" {
void* __wrap_malloc(size_t size) {
    count();
    return __real_malloc(size);
}
void* __wrap_calloc(size_t number, size_t size) {
    count();
    return __real_calloc(number, size);
}
void* __wrap_realloc(void* pointer, size_t size) {
    count();
    return __real_realloc(pointer, size);
}
int __wrap_pthread_mutex_lock(pthread_mutex_t* mutex) {
    countLock();
    return __real_pthread_mutex_lock(mutex);
}
int __wrap_pthread_mutex_trylock(pthread_mutex_t* mutex) {
    countLock();
    return __real_pthread_mutex_trylock(mutex);
}
int __wrap_pthread_rwlock_rdlock(pthread_rwlock_t* lock) {
    countLock();
    return __real_pthread_rwlock_rdlock(lock);
}
int __wrap_pthread_rwlock_wrlock(pthread_rwlock_t* lock) {
    countLock();
    return __real_pthread_rwlock_wrlock(lock);
}
int __wrap_pthread_rwlock_tryrdlock(pthread_rwlock_t* lock) {
    countLock();
    return __real_pthread_rwlock_tryrdlock(lock);
}
int __wrap_pthread_rwlock_trywrlock(pthread_rwlock_t* lock) {
    countLock();
    return __real_pthread_rwlock_trywrlock(lock);
}
int __wrap_pthread_cond_wait(pthread_cond_t* condition, pthread_mutex_t* mutex) {
    countLock();
    return __real_pthread_cond_wait(condition, mutex);
}
}

namespace {
// Through malloc, so it is counted once, there.
void* allocate(std::size_t size) {
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
