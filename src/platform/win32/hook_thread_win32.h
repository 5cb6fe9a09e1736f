#pragma once
// The Windows hook thread, with the calls the system may refuse (a hook, the
// window) replaceable, so a test can refuse each of them for real.
#include <windows.h>

#include <memory>

#include "platform/hook_thread.h"

namespace cl::platform {

struct HookThreadCalls {
    decltype(&::SetWindowsHookExW) setWindowsHookEx = ::SetWindowsHookExW;
    decltype(&::CreateWindowExW) createWindowEx = ::CreateWindowExW;
};

std::unique_ptr<HookThread> makeHookThread(const HookThreadCalls& calls = {});

}  // namespace cl::platform
