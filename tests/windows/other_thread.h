#pragma once
// Calls made from a thread other than the test's: the main-thread rule and
// the per-thread services (COM) both tell the two apart.
#include <windows.h>

#include <thread>

namespace cltest {

// Runs call on a thread of its own, waits for it, and returns its Windows id.
template <class Call>
DWORD onOtherThread(Call call) {
    DWORD id = 0;
    std::thread([&] {
        id = GetCurrentThreadId();
        call();
    }).join();
    return id;
}

}  // namespace cltest
