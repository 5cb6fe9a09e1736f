#include "platform/win32/audio_objects_win32.h"

#include <avrt.h>
#include <mmsystem.h>

namespace cl::platform::win32 {
namespace {

// A failure whose GetLastError was left at 0 still reads as a failure.
uint32_t lastErrorOr(uint32_t fallback) {
    const DWORD error = GetLastError();
    return error != 0 ? error : fallback;
}

class Win32TimerEvent final : public TimerEvent {
public:
    explicit Win32TimerEvent(HANDLE event) : event_(event) {}
    ~Win32TimerEvent() override { CloseHandle(event_); }
    HANDLE handle() const { return event_; }

private:
    HANDLE event_;
};

class Win32AudioThread final : public AudioThread {
public:
    explicit Win32AudioThread(HANDLE thread) : thread_(thread) {}
    ~Win32AudioThread() override { CloseHandle(thread_); }
    void join() override { WaitForSingleObject(thread_, INFINITE); }

private:
    HANDLE thread_;
};

// The audio thread holds a reference to the module its code lives in, and
// drops it only as it exits. A game that unloads the library with the output
// still open thus leaves it loaded (and playing) instead of having the
// engine join the thread under the loader lock, which the exiting thread
// needs: a deadlock.
HMODULE referenceOwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&referenceOwnModule), &module);
    return module;
}

struct ThreadStart {
    std::function<void()> body;
    HMODULE module;
};

DWORD WINAPI runThreadBody(void* argument) {
    HMODULE module = nullptr;
    {
        std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(argument));
        module = start->module;
        start->body();
    }
    if (module != nullptr) FreeLibraryAndExitThread(module, 0);
    return 0;
}

class Win32AudioPlatform final : public AudioPlatform {
public:
    bool hasAudioDevices() const override { return true; }

    uint32_t timeGetDevCaps(uint32_t* periodMin, uint32_t* periodMax) override {
        TIMECAPS caps{};
        const MMRESULT result = ::timeGetDevCaps(&caps, sizeof caps);
        *periodMin = caps.wPeriodMin;
        *periodMax = caps.wPeriodMax;
        return result;
    }
    void timeBeginPeriod(uint32_t period) override { ::timeBeginPeriod(period); }
    void timeEndPeriod(uint32_t period) override { ::timeEndPeriod(period); }

    uint32_t createTimerEvent(std::unique_ptr<TimerEvent>* event) override {
        HANDLE handle = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (handle == nullptr) return lastErrorOr(ERROR_GEN_FAILURE);
        *event = std::make_unique<Win32TimerEvent>(handle);
        return 0;
    }
    uint32_t timeSetEvent(uint32_t delayMs, TimerEvent& event, uint32_t* timerId) override {
        const UINT id =
            ::timeSetEvent(delayMs, 0, reinterpret_cast<LPTIMECALLBACK>(static_cast<Win32TimerEvent&>(event).handle()),
                           0, TIME_PERIODIC | TIME_CALLBACK_EVENT_SET | TIME_KILL_SYNCHRONOUS);
        if (id == 0) return lastErrorOr(ERROR_GEN_FAILURE);
        *timerId = id;
        return 0;
    }
    void timeKillEvent(uint32_t timerId) override { ::timeKillEvent(timerId); }

    uint32_t createThread(std::function<void()> body, std::unique_ptr<AudioThread>* thread) override {
        auto owned = std::make_unique<ThreadStart>(ThreadStart{std::move(body), referenceOwnModule()});
        HANDLE handle = CreateThread(nullptr, 0, runThreadBody, owned.get(), 0, nullptr);
        if (handle == nullptr) {
            const uint32_t error = lastErrorOr(ERROR_GEN_FAILURE);
            if (owned->module != nullptr) FreeLibrary(owned->module);
            return error;
        }
        owned.release();  // the thread owns its start now
        *thread = std::make_unique<Win32AudioThread>(handle);
        return 0;
    }

    uint32_t joinProAudioTask() override {
        DWORD taskIndex = 0;
        return AvSetMmThreadCharacteristicsW(L"Pro Audio", &taskIndex) != nullptr ? 0 : lastErrorOr(ERROR_GEN_FAILURE);
    }
    uint32_t raiseToTimeCritical() override {
        return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) ? 0
                                                                                    : lastErrorOr(ERROR_GEN_FAILURE);
    }
    void waitForTimer(TimerEvent& event, uint32_t timeoutMs) override {
        WaitForSingleObject(static_cast<Win32TimerEvent&>(event).handle(), timeoutMs);
    }
    void sleep(uint32_t ms) override { Sleep(ms); }

    int32_t createDeviceEnumerator(std::unique_ptr<DeviceEnumerator>* enumerator) override {
        IMMDeviceEnumerator* raw = nullptr;
        const HRESULT result = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                                __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(&raw));
        if (SUCCEEDED(result)) *enumerator = wrapDeviceEnumerator(raw);
        return result;
    }
    int32_t createResampler(std::unique_ptr<SampleRateTransform>* transform) override {
        return createMfResampler(transform);
    }
    int32_t guidText(const Guid& guid, std::wstring* text) override {
        LPOLESTR raw = nullptr;
        const HRESULT result = StringFromCLSID(reinterpret_cast<const GUID&>(guid), &raw);
        if (SUCCEEDED(result) && raw != nullptr) *text = raw;
        CoTaskMemFree(raw);
        return result;
    }

    uint32_t utf8ToWide(const char* text, std::wstring* wide) override {
        const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
        if (length <= 0) return lastErrorOr(ERROR_NO_UNICODE_TRANSLATION);
        std::wstring buffer(static_cast<size_t>(length), L'\0');
        if (MultiByteToWideChar(CP_UTF8, 0, text, -1, buffer.data(), length) <= 0) {
            return lastErrorOr(ERROR_NO_UNICODE_TRANSLATION);
        }
        buffer.pop_back();  // the terminator
        *wide = std::move(buffer);
        return 0;
    }
    uint32_t wideToUtf8(const wchar_t* text, std::string* utf8) override {
        const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
        if (length <= 0) return lastErrorOr(ERROR_NO_UNICODE_TRANSLATION);
        std::string buffer(static_cast<size_t>(length), '\0');
        if (WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer.data(), length, nullptr, nullptr) <= 0) {
            return lastErrorOr(ERROR_NO_UNICODE_TRANSLATION);
        }
        buffer.pop_back();
        *utf8 = std::move(buffer);
        return 0;
    }
};

}  // namespace
}  // namespace cl::platform::win32

namespace cl::platform {

AudioPlatform& systemAudioPlatform() {
    static win32::Win32AudioPlatform platform;
    return platform;
}

}  // namespace cl::platform
