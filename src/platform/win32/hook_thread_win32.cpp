// The hook thread: installs the low-level keyboard and mouse hooks, owns the
// message-only window "CLKI" and pumps messages, inside which the system
// calls the hooks. Every event is passed on: the game's own window still
// receives all its keyboard and mouse messages.
#include <windows.h>

#include <future>
#include <thread>

#include "platform/counter.h"
#include "platform/thread_start.h"
#include "platform/win32/hook_thread_win32.h"

namespace cl::platform {
namespace {

constexpr const wchar_t* kWindowClass = L"CLKI";

// Low-level hook procedures receive no context, so the running hook thread's
// state is process-wide: one hook thread at a time. Written by the hook
// thread before it reports ready, read by the procedures on that thread and
// by stop() after start() has seen ready.
HookProcedures* procedures = nullptr;
HHOOK keyboardHook = nullptr;
HHOOK mouseHook = nullptr;
HWND hookWindow = nullptr;

// Each procedure reads the counter first: the event's time is when the
// system handed it over, before any of our own work.
LRESULT CALLBACK keyboardProcedure(int nCode, WPARAM wParam, LPARAM lParam) {
    const int64_t seenAt = counterNow();
    try {
        const uint32_t vkCode = nCode >= 0 ? reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam)->vkCode : 0;
        procedures->keyboard(nCode, wParam, vkCode, seenAt);
    } catch (...) {
        // Nothing may unwind into the system; the event still goes on.
    }
    return ::CallNextHookEx(keyboardHook, nCode, wParam, lParam);
}

LRESULT CALLBACK mouseProcedure(int nCode, WPARAM wParam, LPARAM lParam) {
    const int64_t seenAt = counterNow();
    try {
        if (nCode >= 0) {
            const auto* info = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
            procedures->mouse(nCode, wParam, info->pt.x, info->pt.y, info->mouseData, seenAt);
        } else {
            procedures->mouse(nCode, wParam, 0, 0, 0, seenAt);
        }
    } catch (...) {
    }
    return ::CallNextHookEx(mouseHook, nCode, wParam, lParam);
}

class Win32HookThread final : public HookThread {
public:
    explicit Win32HookThread(const HookThreadCalls& calls) : calls_(calls) {}
    ~Win32HookThread() override { stop(); }

    // Returns once the hooks are in place, so input pressed right after
    // initinput returns is seen; false (and no thread left) when the thread,
    // a hook or the window could not be made.
    bool start(HookProcedures& hookProcedures) override {
        if (thread_.joinable()) return false;
        procedures = &hookProcedures;
        ready_ = std::promise<bool>();  // true: hooks and window in place; outlives the thread's use
        std::future<bool> readiness = ready_.get_future();
        if (!cl::startThread(thread_, [this] { run(ready_); })) return false;
        if (readiness.get()) return true;
        thread_.join();
        procedures = nullptr;
        return false;
    }

    void stop() override {
        if (!thread_.joinable()) return;
        ::UnhookWindowsHookEx(keyboardHook);
        ::UnhookWindowsHookEx(mouseHook);
        ::PostMessageW(hookWindow, WM_CLOSE, 0, 0);
        thread_.join();
        keyboardHook = mouseHook = nullptr;
        hookWindow = nullptr;
        procedures = nullptr;
    }

private:
    void run(std::promise<bool>& ready) {
        const HINSTANCE instance = ::GetModuleHandleW(nullptr);
        keyboardHook = calls_.setWindowsHookEx(WH_KEYBOARD_LL, keyboardProcedure, nullptr, 0);
        mouseHook = calls_.setWindowsHookEx(WH_MOUSE_LL, mouseProcedure, nullptr, 0);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = ::DefWindowProcW;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kWindowClass;
        ::RegisterClassW(&windowClass);
        hookWindow =
            calls_.createWindowEx(0, kWindowClass, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
        const bool ok = keyboardHook != nullptr && mouseHook != nullptr && hookWindow != nullptr;
        if (!ok) {
            if (keyboardHook != nullptr) ::UnhookWindowsHookEx(keyboardHook);
            if (mouseHook != nullptr) ::UnhookWindowsHookEx(mouseHook);
            if (hookWindow != nullptr) ::DestroyWindow(hookWindow);
            keyboardHook = mouseHook = nullptr;
            hookWindow = nullptr;
            ::UnregisterClassW(kWindowClass, instance);
        }
        ready.set_value(ok);
        if (!ok) return;

        MSG message;
        for (;;) {
            const BOOL got = ::GetMessageW(&message, hookWindow, 0, 0);
            if (got == 0 || got == -1) break;
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
            if (message.message == WM_CLOSE) break;
        }
        ::UnregisterClassW(kWindowClass, instance);
    }

    const HookThreadCalls calls_;
    std::promise<bool> ready_;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<HookThread> makeHookThread(const HookThreadCalls& calls) {
    return std::make_unique<Win32HookThread>(calls);
}

}  // namespace cl::platform
