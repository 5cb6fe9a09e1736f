#include "platform/win32/audio_objects_win32.h"
#include "platform/win32/com_ptr.h"

namespace cl::platform::win32 {
namespace {

// Our record has the Windows layout, head first.
const WAVEFORMATEX* windowsFormat(const WaveFormat& format) { return reinterpret_cast<const WAVEFORMATEX*>(&format); }

AUDCLNT_SHAREMODE shareMode(bool exclusive) {
    return exclusive ? AUDCLNT_SHAREMODE_EXCLUSIVE : AUDCLNT_SHAREMODE_SHARED;
}

class Win32RenderClient final : public AudioRenderClient {
public:
    explicit Win32RenderClient(IAudioRenderClient* client) : client_(client) {}
    int32_t GetBuffer(uint32_t frames, uint8_t** data) override {
        BYTE* buffer = nullptr;
        const HRESULT result = client_->GetBuffer(frames, &buffer);
        *data = buffer;
        return result;
    }
    int32_t ReleaseBuffer(uint32_t frames, uint32_t flags) override { return client_->ReleaseBuffer(frames, flags); }

private:
    ComPtr<IAudioRenderClient> client_;
};

class Win32AudioClock final : public AudioClock {
public:
    explicit Win32AudioClock(IAudioClock* clock) : clock_(clock) {}
    int32_t GetFrequency(uint64_t* frequency) override {
        UINT64 value = 0;
        const HRESULT result = clock_->GetFrequency(&value);
        *frequency = value;
        return result;
    }
    int32_t GetPosition(uint64_t* position, uint64_t* qpcPosition) override {
        UINT64 at = 0, counter = 0;
        const HRESULT result = clock_->GetPosition(&at, &counter);
        *position = at;
        *qpcPosition = counter;
        return result;
    }

private:
    ComPtr<IAudioClock> clock_;
};

// Activated as IAudioClient3 when the endpoint offers it: one object and
// one reference, reached through both pointers.
class Win32AudioClient final : public AudioClient {
public:
    Win32AudioClient(IAudioClient* client, IAudioClient3* client3) : client_(client), client3_(client3) {}

    int32_t GetMixFormat(std::vector<uint8_t>* format) override {
        WAVEFORMATEX* mix = nullptr;
        const HRESULT result = client_->GetMixFormat(&mix);
        if (SUCCEEDED(result) && mix != nullptr) {
            const uint8_t* bytes = reinterpret_cast<const uint8_t*>(mix);
            format->assign(bytes, bytes + sizeof(WAVEFORMATEX) + mix->cbSize);
        }
        CoTaskMemFree(mix);
        return result;
    }
    int32_t IsFormatSupported(bool exclusive, const WaveFormat& format) override {
        WAVEFORMATEX* closest = nullptr;
        const HRESULT result =
            client_->IsFormatSupported(shareMode(exclusive), windowsFormat(format), exclusive ? nullptr : &closest);
        CoTaskMemFree(closest);  // never used: only the exact format counts
        return result;
    }
    int32_t GetDevicePeriod(int64_t* defaultPeriod, int64_t* minimumPeriod) override {
        REFERENCE_TIME byDefault = 0, minimum = 0;
        const HRESULT result = client_->GetDevicePeriod(&byDefault, &minimum);
        *defaultPeriod = byDefault;
        *minimumPeriod = minimum;
        return result;
    }
    int32_t Initialize(bool exclusive, int64_t bufferDuration, const WaveFormat& format) override {
        return client_->Initialize(shareMode(exclusive), 0, bufferDuration, 0, windowsFormat(format), nullptr);
    }
    int32_t GetBufferSize(uint32_t* frames) override {
        UINT32 size = 0;
        const HRESULT result = client_->GetBufferSize(&size);
        *frames = size;
        return result;
    }
    int32_t GetService(std::unique_ptr<AudioRenderClient>* renderClient) override {
        IAudioRenderClient* client = nullptr;
        const HRESULT result = client_->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void**>(&client));
        if (SUCCEEDED(result)) *renderClient = std::make_unique<Win32RenderClient>(client);
        return result;
    }
    int32_t GetService(std::unique_ptr<AudioClock>* clock) override {
        IAudioClock* service = nullptr;
        const HRESULT result = client_->GetService(__uuidof(IAudioClock), reinterpret_cast<void**>(&service));
        if (SUCCEEDED(result)) *clock = std::make_unique<Win32AudioClock>(service);
        return result;
    }
    int32_t GetStreamLatency(int64_t* latency) override {
        REFERENCE_TIME value = 0;
        const HRESULT result = client_->GetStreamLatency(&value);
        *latency = value;
        return result;
    }
    int32_t Start() override { return client_->Start(); }
    int32_t GetCurrentPadding(uint32_t* frames) override {
        UINT32 padding = 0;
        const HRESULT result = client_->GetCurrentPadding(&padding);
        *frames = padding;
        return result;
    }
    int32_t GetSharedModeEnginePeriod(const WaveFormat& format, EnginePeriods* periods) override {
        UINT32 byDefault = 0, fundamental = 0, minimum = 0, maximum = 0;
        const HRESULT result =
            client3_->GetSharedModeEnginePeriod(windowsFormat(format), &byDefault, &fundamental, &minimum, &maximum);
        *periods = EnginePeriods{byDefault, fundamental, minimum, maximum};
        return result;
    }
    int32_t GetCurrentSharedModeEnginePeriod(uint32_t* currentPeriod) override {
        WAVEFORMATEX* format = nullptr;
        UINT32 period = 0;
        const HRESULT result = client3_->GetCurrentSharedModeEnginePeriod(&format, &period);
        CoTaskMemFree(format);
        *currentPeriod = period;
        return result;
    }
    int32_t InitializeSharedAudioStream(uint32_t period, const WaveFormat& format) override {
        return client3_->InitializeSharedAudioStream(0, period, windowsFormat(format), nullptr);
    }

private:
    ComPtr<IAudioClient> client_;
    IAudioClient3* client3_;  // the same object as client_, or null
};

}  // namespace

std::unique_ptr<AudioClient> wrapAudioClient(IAudioClient* client, IAudioClient3* client3) {
    return std::make_unique<Win32AudioClient>(client, client3);
}

}  // namespace cl::platform::win32
