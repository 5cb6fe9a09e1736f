// The input providers' system services on Windows: window questions, key
// states and the cursor, the polling thread's stop event, XInput loading,
// and the controller thread's events.
#include <windows.h>

#include <cstddef>
#include <string>

#include "platform/input_platform.h"
#include "platform/thread_start.h"
#include "platform/win32/hook_thread_win32.h"

namespace cl::platform {

namespace {

static_assert(sizeof(XInputState) == 16 && offsetof(XInputState, gamepad) == 4 &&
                  offsetof(GamepadState, thumbLX) == 4 && offsetof(GamepadState, thumbRY) == 10,
              "GamepadState and XInputState must be laid out as XINPUT_GAMEPAD and XINPUT_STATE");

HWND toWindow(WindowHandle window) { return reinterpret_cast<HWND>(window); }

class Win32Windows final : public WindowQuery {
public:
    WindowHandle windowFromPoint(ScreenPoint point) override {
        return reinterpret_cast<WindowHandle>(::WindowFromPoint(POINT{point.x, point.y}));
    }
    uint32_t windowProcessId(WindowHandle window) override {
        DWORD processId = 0;
        if (::GetWindowThreadProcessId(toWindow(window), &processId) == 0) return 0;
        return processId;
    }
    uint32_t currentProcessId() override { return ::GetCurrentProcessId(); }
    bool screenToClient(WindowHandle window, ScreenPoint& point) override {
        POINT converted{point.x, point.y};
        if (!::ScreenToClient(toWindow(window), &converted)) return false;
        point = {converted.x, converted.y};
        return true;
    }
    bool clientRect(WindowHandle window, ClientRect& rect) override {
        RECT client;
        if (!::GetClientRect(toWindow(window), &client)) return false;
        rect = {client.left, client.top, client.right, client.bottom};
        return true;
    }
};

class Win32KeyPolling final : public KeyPolling {
public:
    ~Win32KeyPolling() override { closeStopEvent(); }
    bool createStopEvent() override {
        stopEvent_ = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);  // auto-reset, not signalled
        return stopEvent_ != nullptr;
    }
    void signalStop() override { ::SetEvent(stopEvent_); }
    void closeStopEvent() override {
        if (stopEvent_ != nullptr) ::CloseHandle(stopEvent_);
        stopEvent_ = nullptr;
    }
    WaitOutcome waitForStop(uint32_t& waitResult, uint32_t& error) override {
        waitResult = ::WaitForSingleObject(stopEvent_, 1);
        if (waitResult == WAIT_OBJECT_0) return WaitOutcome::Signalled;
        if (waitResult == WAIT_TIMEOUT) return WaitOutcome::TimedOut;
        error = ::GetLastError();
        return WaitOutcome::Failed;
    }
    void sleepMs(uint32_t milliseconds) override { ::Sleep(milliseconds); }
    bool startThread(std::thread& thread, std::function<void()> body) override {
        return cl::startThread(thread, std::move(body));
    }
    bool keyDown(uint32_t virtualKey) override { return ::GetAsyncKeyState(static_cast<int>(virtualKey)) < 0; }
    bool cursorPos(ScreenPoint& point, uint32_t& error) override {
        POINT cursor;
        if (!::GetCursorPos(&cursor)) {
            error = ::GetLastError();
            return false;
        }
        point = {cursor.x, cursor.y};
        return true;
    }

private:
    HANDLE stopEvent_ = nullptr;
};

class Win32Libraries final : public DynamicLibraries {
public:
    uintptr_t load(const char* name) override {
        const std::string narrow(name);
        const std::wstring wide(narrow.begin(), narrow.end());  // library names are ASCII
        return reinterpret_cast<uintptr_t>(::LoadLibraryW(wide.c_str()));
    }
    void* symbol(uintptr_t library, const char* name) override {
        // Through void*: FARPROC and the real signature are unrelated function types.
        return reinterpret_cast<void*>(::GetProcAddress(reinterpret_cast<HMODULE>(library), name));
    }
    void free(uintptr_t library) override {
        if (library != 0) ::FreeLibrary(reinterpret_cast<HMODULE>(library));
    }
};

class Win32ControllerSignals final : public ControllerSignals {
public:
    ~Win32ControllerSignals() override { close(); }
    bool create() override {
        stop_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);  // manual-reset, not signalled
        if (stop_ == nullptr) return false;
        present_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (present_ != nullptr) return true;
        close();
        return false;
    }
    void close() override {
        for (HANDLE* event : {&stop_, &present_}) {
            if (*event != nullptr) ::CloseHandle(*event);
            *event = nullptr;
        }
    }
    void signalStop() override { ::SetEvent(stop_); }
    bool stopSignalled() override { return ::WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0; }
    void setPresent(bool present) override { present ? ::SetEvent(present_) : ::ResetEvent(present_); }
    void waitForStopOrPresent() override {
        const HANDLE events[] = {stop_, present_};
        ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
    }
    void sleepMs(uint32_t milliseconds) override { ::Sleep(milliseconds); }
    void raiseThreadPriority() override { ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_HIGHEST); }
    bool startThread(std::thread& thread, std::function<void()> body) override {
        return cl::startThread(thread, std::move(body));
    }

private:
    HANDLE stop_ = nullptr;
    HANDLE present_ = nullptr;
};

}  // namespace

InputPlatform makeInputPlatform() {
    InputPlatform platform;
    platform.windows = std::make_unique<Win32Windows>();
    platform.polling = std::make_unique<Win32KeyPolling>();
    platform.libraries = std::make_unique<Win32Libraries>();
    platform.controllerSignals = std::make_unique<Win32ControllerSignals>();
    platform.hooks = makeHookThread();
    return platform;
}

}  // namespace cl::platform
