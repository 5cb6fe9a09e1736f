#pragma once
// The thin layer under the WASAPI output: each interface mirrors one Windows
// object (device enumerator, device, property store, audio client, render
// client, Media Foundation resampler) or a group of kernel and multimedia
// timer calls, and answers with the platform's own result codes (HRESULTs
// as int32_t, Win32 error codes as uint32_t). A destroyed object is released.
// The logic above logs exact check numbers from these codes, and tests
// script any answer through a fake.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/wave_format.h"

namespace cl::platform {

class AudioRenderClient {
public:
    virtual ~AudioRenderClient() = default;
    virtual int32_t GetBuffer(uint32_t frames, uint8_t** data) = 0;
    virtual int32_t ReleaseBuffer(uint32_t frames, uint32_t flags) = 0;
};

// IAudioClock: where the device is in the stream, in its own units
// (GetFrequency of them a second).
class AudioClock {
public:
    virtual ~AudioClock() = default;
    virtual int32_t GetFrequency(uint64_t* frequency) = 0;
    // The position and the performance counter at which the device held it,
    // the latter in 100-ns units, as IAudioClock converts it.
    virtual int32_t GetPosition(uint64_t* position, uint64_t* qpcPosition) = 0;
};

struct EnginePeriods {
    uint32_t defaultPeriod = 0;
    uint32_t fundamental = 0;
    uint32_t minimum = 0;
    uint32_t maximum = 0;
};

// Formats go to the device as the record stands: a cbSize of 0 makes it the
// plain 18-byte form. Stream flags are always 0 here (no event callback).
class AudioClient {
public:
    virtual ~AudioClient() = default;
    // The mix format's bytes (head and extension), freed by the layer.
    virtual int32_t GetMixFormat(std::vector<uint8_t>* format) = 0;
    // Shared mode asks for a closest match, which the layer frees unread.
    virtual int32_t IsFormatSupported(bool exclusive, const WaveFormat& format) = 0;
    virtual int32_t GetDevicePeriod(int64_t* defaultPeriod, int64_t* minimumPeriod) = 0;
    virtual int32_t Initialize(bool exclusive, int64_t bufferDuration, const WaveFormat& format) = 0;
    virtual int32_t GetBufferSize(uint32_t* frames) = 0;
    virtual int32_t GetService(std::unique_ptr<AudioRenderClient>* renderClient) = 0;
    virtual int32_t GetService(std::unique_ptr<AudioClock>* clock) = 0;
    // The longest time from a frame's release to its playing; REFERENCE_TIME
    // (100-ns units), valid once the client is initialised.
    virtual int32_t GetStreamLatency(int64_t* latency) = 0;
    virtual int32_t Start() = 0;
    virtual int32_t GetCurrentPadding(uint32_t* frames) = 0;
    // IAudioClient3; only called on a client activated as one.
    virtual int32_t GetSharedModeEnginePeriod(const WaveFormat& format, EnginePeriods* periods) = 0;
    virtual int32_t GetCurrentSharedModeEnginePeriod(uint32_t* currentPeriod) = 0;
    virtual int32_t InitializeSharedAudioStream(uint32_t period, const WaveFormat& format) = 0;
};

// Held open for as long as the output plays; nothing else uses it.
class EndpointVolume {
public:
    virtual ~EndpointVolume() = default;
};

class PropertyStore {
public:
    virtual ~PropertyStore() = default;
    // PKEY_Device_FriendlyName; the layer clears the value.
    virtual int32_t GetFriendlyName(std::wstring* name) = 0;
    // PKEY_AudioEngine_DeviceFormat: the blob's bytes, empty when the value
    // holds no blob.
    virtual int32_t GetDeviceFormat(std::vector<uint8_t>* blob) = 0;
};

class AudioDevice {
public:
    virtual ~AudioDevice() = default;
    virtual int32_t GetId(std::wstring* id) = 0;
    virtual int32_t OpenPropertyStore(std::unique_ptr<PropertyStore>* store) = 0;  // STGM_READ
    virtual int32_t ActivateEndpointVolume(std::unique_ptr<EndpointVolume>* volume) = 0;
    // As IAudioClient3 when `client3`, else as IAudioClient.
    virtual int32_t ActivateAudioClient(bool client3, std::unique_ptr<AudioClient>* client) = 0;
};

class DeviceCollection {
public:
    virtual ~DeviceCollection() = default;
    virtual int32_t GetCount(uint32_t* count) = 0;
    virtual int32_t Item(uint32_t index, std::unique_ptr<AudioDevice>* device) = 0;
};

// Receives the default-device changes, on a thread of the system's.
class DeviceChangeListener {
public:
    virtual ~DeviceChangeListener() = default;
    virtual void onDefaultDeviceChanged(int32_t flow, int32_t role, const wchar_t* deviceId) = 0;
};

class DeviceEnumerator {
public:
    virtual ~DeviceEnumerator() = default;
    virtual int32_t EnumAudioEndpoints(std::unique_ptr<DeviceCollection>* devices) = 0;  // active render endpoints
    virtual int32_t GetDevice(const std::wstring& id, std::unique_ptr<AudioDevice>* device) = 0;
    virtual int32_t GetDefaultAudioEndpoint(std::unique_ptr<AudioDevice>* device) = 0;  // render, console role
    // One listener at a time; unregistering when none is registered is harmless.
    virtual int32_t RegisterEndpointNotificationCallback(DeviceChangeListener* listener) = 0;
    virtual int32_t UnregisterEndpointNotificationCallback() = 0;
};

// A sample rate converter used the way the Media Foundation resampler is:
// types set once, the whole sound in one input, output taken in passes
// until the transform asks for more input.
class SampleRateTransform {
public:
    virtual ~SampleRateTransform() = default;
    // Input and output types from two plain (18-byte) formats.
    virtual int32_t SetTypes(const WaveFormat& input, const WaveFormat& output) = 0;
    virtual int32_t ProcessInput(const uint8_t* bytes, size_t size) = 0;
    // One pass of output; the bytes stay readable until the next call or
    // the transform's end. kTransformNeedMoreInput when all is out.
    virtual int32_t ProcessOutput(const uint8_t** bytes, size_t* size) = 0;
};

class TimerEvent {
public:
    virtual ~TimerEvent() = default;  // closes the handle
};

class AudioThread {
public:
    virtual ~AudioThread() = default;  // closes the handle
    virtual void join() = 0;           // waits without a time limit
};

class AudioPlatform {
public:
    virtual ~AudioPlatform() = default;
    // False where the build has no WASAPI: the output then cannot open.
    virtual bool hasAudioDevices() const = 0;

    virtual uint32_t timeGetDevCaps(uint32_t* periodMin, uint32_t* periodMax) = 0;  // MMRESULT
    virtual void timeBeginPeriod(uint32_t period) = 0;
    virtual void timeEndPeriod(uint32_t period) = 0;
    // The Win32 calls below return 0 on success, else GetLastError.
    virtual uint32_t createTimerEvent(std::unique_ptr<TimerEvent>* event) = 0;  // auto-reset, unsignalled
    // Periodic, signals the event, killed synchronously.
    virtual uint32_t timeSetEvent(uint32_t delayMs, TimerEvent& event, uint32_t* timerId) = 0;
    virtual void timeKillEvent(uint32_t timerId) = 0;
    virtual uint32_t createThread(std::function<void()> body, std::unique_ptr<AudioThread>* thread) = 0;

    // Called on the audio thread itself.
    virtual uint32_t joinProAudioTask() = 0;  // MMCSS task "Pro Audio"
    virtual uint32_t raiseToTimeCritical() = 0;
    virtual void waitForTimer(TimerEvent& event, uint32_t timeoutMs) = 0;
    virtual void sleep(uint32_t ms) = 0;

    // COM objects; the caller's thread has initialised COM.
    virtual int32_t createDeviceEnumerator(std::unique_ptr<DeviceEnumerator>* enumerator) = 0;
    virtual int32_t createResampler(std::unique_ptr<SampleRateTransform>* transform) = 0;
    virtual int32_t guidText(const Guid& guid, std::wstring* text) = 0;  // StringFromCLSID

    // UTF-8 and UTF-16 through the system's converter: 0, else GetLastError.
    virtual uint32_t utf8ToWide(const char* text, std::wstring* wide) = 0;
    virtual uint32_t wideToUtf8(const wchar_t* text, std::string* utf8) = 0;
};

// The services of this build: Windows', or elsewhere a platform without
// devices whose resampler comes from a library.
AudioPlatform& systemAudioPlatform();

}  // namespace cl::platform
