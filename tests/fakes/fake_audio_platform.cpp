#include "fakes/fake_audio_platform.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <thread>

namespace cl::test {
namespace {

using platform::kOk;
using platform::WaveFormat;

// Base of every fake object: counted while alive, its release recorded.
class FakeObject {
public:
    FakeObject(FakeAudioPlatform& system, const char* name) : system_(system), name_(name) { system_.created(); }
    virtual ~FakeObject() { system_.released(name_); }

protected:
    FakeAudioPlatform& system_;
    const char* name_;
};

class FakeRenderClient final : public platform::AudioRenderClient, FakeObject {
public:
    explicit FakeRenderClient(FakeAudioPlatform& system) : FakeObject(system, "RenderClient") {}
    int32_t GetBuffer(uint32_t frames, uint8_t** data) override {
        const int32_t result = system_.answer("GetBuffer", std::to_string(frames));
        if (platform::failed(result)) return result;
        // Bytes the engine can never write as a whole frame of silence, so a
        // frame left unwritten shows.
        system_.deviceBuffer.assign(static_cast<size_t>(frames) * 64, 0xEE);
        *data = system_.deviceBuffer.data();
        return result;
    }
    int32_t ReleaseBuffer(uint32_t frames, uint32_t flags) override {
        return system_.answer("ReleaseBuffer", std::to_string(frames) + ", " + std::to_string(flags));
    }
};

class FakeAudioClock final : public platform::AudioClock, FakeObject {
public:
    explicit FakeAudioClock(FakeAudioPlatform& system) : FakeObject(system, "AudioClock") {}
    int32_t GetFrequency(uint64_t* frequency) override {
        *frequency = system_.clockFrequency;
        return system_.answer("GetFrequency");
    }
    int32_t GetPosition(uint64_t* position, uint64_t* qpcPosition) override {
        *position = system_.clockPosition;
        *qpcPosition = system_.clockQpcPosition;
        return system_.answer("GetPosition");
    }
};

class FakeAudioClient final : public platform::AudioClient, FakeObject {
public:
    FakeAudioClient(FakeAudioPlatform& system, bool client3)
        : FakeObject(system, client3 ? "AudioClient3" : "AudioClient") {}
    int32_t GetMixFormat(std::vector<uint8_t>* format) override {
        const int32_t result = system_.answer("GetMixFormat");
        if (!platform::failed(result)) *format = system_.mixFormat;
        return result;
    }
    int32_t IsFormatSupported(bool exclusive, const WaveFormat& format) override {
        system_.formatQueries.emplace_back(exclusive, format);
        const int32_t scripted = system_.answer("IsFormatSupported", exclusive ? "exclusive" : "shared");
        if (scripted != kOk) return scripted;
        return system_.formatAnswer(exclusive, format);
    }
    int32_t GetDevicePeriod(int64_t* defaultPeriod, int64_t* minimumPeriod) override {
        *defaultPeriod = system_.defaultPeriod;
        *minimumPeriod = system_.minimumPeriod;
        return system_.answer("GetDevicePeriod");
    }
    int32_t Initialize(bool exclusive, int64_t bufferDuration, const WaveFormat&) override {
        return system_.answer("Initialize",
                              std::string(exclusive ? "exclusive" : "shared") + ", " + std::to_string(bufferDuration));
    }
    int32_t GetBufferSize(uint32_t* frames) override {
        *frames = system_.bufferFrames;
        return system_.answer("GetBufferSize");
    }
    int32_t GetService(std::unique_ptr<platform::AudioRenderClient>* renderClient) override {
        const int32_t result = system_.answer("GetService");
        if (!platform::failed(result)) *renderClient = std::make_unique<FakeRenderClient>(system_);
        return result;
    }
    int32_t GetService(std::unique_ptr<platform::AudioClock>* clock) override {
        const int32_t result = system_.answer("GetService(AudioClock)");
        if (!platform::failed(result)) *clock = std::make_unique<FakeAudioClock>(system_);
        return result;
    }
    int32_t GetStreamLatency(int64_t* latency) override {
        *latency = system_.streamLatency;
        return system_.answer("GetStreamLatency");
    }
    int32_t Start() override { return system_.answer("Start"); }
    int32_t GetCurrentPadding(uint32_t* frames) override {
        const int32_t result = system_.answer("GetCurrentPadding");
        if (!system_.paddings.empty()) {
            *frames = system_.paddings.front();
            system_.paddings.pop_front();
        } else {
            *frames = system_.padding;
        }
        return result;
    }
    int32_t GetSharedModeEnginePeriod(const WaveFormat&, platform::EnginePeriods* periods) override {
        *periods = system_.enginePeriods;
        return system_.answer("GetSharedModeEnginePeriod");
    }
    int32_t GetCurrentSharedModeEnginePeriod(uint32_t* currentPeriod) override {
        *currentPeriod = system_.currentEnginePeriod;
        return system_.answer("GetCurrentSharedModeEnginePeriod");
    }
    int32_t InitializeSharedAudioStream(uint32_t period, const WaveFormat&) override {
        return system_.answer("InitializeSharedAudioStream", std::to_string(period));
    }
};

class FakeEndpointVolume final : public platform::EndpointVolume, FakeObject {
public:
    explicit FakeEndpointVolume(FakeAudioPlatform& system) : FakeObject(system, "EndpointVolume") {}
};

class FakePropertyStore final : public platform::PropertyStore, FakeObject {
public:
    FakePropertyStore(FakeAudioPlatform& system, std::wstring name)
        : FakeObject(system, "PropertyStore"), name_(name) {}
    int32_t GetFriendlyName(std::wstring* name) override {
        const int32_t result = system_.answer("GetValue(FriendlyName)");
        if (!platform::failed(result)) *name = name_;
        return result;
    }
    int32_t GetDeviceFormat(std::vector<uint8_t>* blob) override {
        const int32_t result = system_.answer("GetValue(DeviceFormat)");
        if (!platform::failed(result)) *blob = system_.deviceFormat;
        return result;
    }

private:
    std::wstring name_;
};

class FakeDevice final : public platform::AudioDevice, FakeObject {
public:
    FakeDevice(FakeAudioPlatform& system, FakeEndpoint endpoint) : FakeObject(system, "Device"), endpoint_(endpoint) {}
    int32_t GetId(std::wstring* id) override {
        const int32_t result = system_.answer("GetId");
        if (!platform::failed(result)) *id = endpoint_.id;
        return result;
    }
    int32_t OpenPropertyStore(std::unique_ptr<platform::PropertyStore>* store) override {
        const int32_t result = system_.answer("OpenPropertyStore");
        if (!platform::failed(result)) *store = std::make_unique<FakePropertyStore>(system_, endpoint_.name);
        return result;
    }
    int32_t ActivateEndpointVolume(std::unique_ptr<platform::EndpointVolume>* volume) override {
        const int32_t result = system_.answer("Activate(EndpointVolume)");
        if (!platform::failed(result)) *volume = std::make_unique<FakeEndpointVolume>(system_);
        return result;
    }
    int32_t ActivateAudioClient(bool client3, std::unique_ptr<platform::AudioClient>* client) override {
        int32_t result = system_.answer(client3 ? "Activate(AudioClient3)" : "Activate(AudioClient)");
        if (client3 && !system_.offersClient3 && result == kOk)
            result = platform::hresult(0x80004002);  // E_NOINTERFACE
        if (!platform::failed(result)) *client = std::make_unique<FakeAudioClient>(system_, client3);
        return result;
    }

private:
    FakeEndpoint endpoint_;
};

class FakeCollection final : public platform::DeviceCollection, FakeObject {
public:
    explicit FakeCollection(FakeAudioPlatform& system) : FakeObject(system, "DeviceCollection") {}
    int32_t GetCount(uint32_t* count) override {
        *count = static_cast<uint32_t>(system_.endpoints.size());
        return system_.answer("GetCount");
    }
    int32_t Item(uint32_t index, std::unique_ptr<platform::AudioDevice>* device) override {
        const int32_t result = system_.answer("Item", std::to_string(index));
        if (!platform::failed(result)) *device = std::make_unique<FakeDevice>(system_, system_.endpoints.at(index));
        return result;
    }
};

class FakeEnumerator final : public platform::DeviceEnumerator, FakeObject {
public:
    explicit FakeEnumerator(FakeAudioPlatform& system) : FakeObject(system, "DeviceEnumerator") {}
    int32_t EnumAudioEndpoints(std::unique_ptr<platform::DeviceCollection>* devices) override {
        const int32_t result = system_.answer("EnumAudioEndpoints");
        if (!platform::failed(result)) *devices = std::make_unique<FakeCollection>(system_);
        return result;
    }
    int32_t GetDevice(const std::wstring& id, std::unique_ptr<platform::AudioDevice>* device) override {
        int32_t result = system_.answer("GetDevice");
        if (platform::failed(result)) return result;
        for (const FakeEndpoint& endpoint : system_.endpoints) {
            if (endpoint.id == id) {
                *device = std::make_unique<FakeDevice>(system_, endpoint);
                return result;
            }
        }
        return platform::kNotFound;
    }
    int32_t GetDefaultAudioEndpoint(std::unique_ptr<platform::AudioDevice>* device) override {
        const int32_t result = system_.answer("GetDefaultAudioEndpoint");
        if (platform::failed(result)) return result;
        if (system_.endpoints.empty()) return platform::kNotFound;
        *device = std::make_unique<FakeDevice>(system_, system_.endpoints.front());
        return result;
    }
    int32_t RegisterEndpointNotificationCallback(platform::DeviceChangeListener* listener) override {
        const int32_t result = system_.answer("RegisterEndpointNotificationCallback");
        if (!platform::failed(result)) system_.listener = listener;
        return result;
    }
    int32_t UnregisterEndpointNotificationCallback() override {
        system_.listener = nullptr;
        return system_.answer("UnregisterEndpointNotificationCallback");
    }
};

class FakeTimerEvent final : public platform::TimerEvent, FakeObject {
public:
    explicit FakeTimerEvent(FakeAudioPlatform& system) : FakeObject(system, "TimerEvent") {}
};

class FakeThread final : public platform::AudioThread, FakeObject {
public:
    FakeThread(FakeAudioPlatform& system, std::function<void()> body) : FakeObject(system, "Thread") {
        if (system.realThreads) {
            thread_ = std::thread(std::move(body));
        } else {
            system.threadBody = std::move(body);
        }
    }
    void join() override {
        system_.record("WaitForSingleObject(Thread)");
        if (thread_.joinable()) thread_.join();
    }

private:
    std::thread thread_;
};

// Converts all at once on ProcessInput, then hands the result out in passes.
class FakeTransform final : public platform::SampleRateTransform, FakeObject {
public:
    explicit FakeTransform(FakeAudioPlatform& system) : FakeObject(system, "Resampler") {}
    int32_t SetTypes(const WaveFormat& input, const WaveFormat& output) override {
        from_ = input.samplesPerSec;
        to_ = output.samplesPerSec;
        return system_.answer("SetTypes", std::to_string(from_) + ", " + std::to_string(to_));
    }
    int32_t ProcessInput(const uint8_t* bytes, size_t size) override {
        const int32_t result = system_.answer("ProcessInput", std::to_string(size));
        if (platform::failed(result)) return result;
        output_ = system_.convert(std::vector<uint8_t>(bytes, bytes + size), from_, to_);
        return result;
    }
    int32_t ProcessOutput(const uint8_t** bytes, size_t* size) override {
        if (const int32_t result = system_.answer("ProcessOutput"); result != kOk) return result;
        if (offset_ >= output_.size()) return platform::kTransformNeedMoreInput;
        *size = std::min(system_.passBytes, output_.size() - offset_);
        *bytes = output_.data() + offset_;
        offset_ += *size;
        return kOk;
    }

private:
    uint32_t from_ = 0, to_ = 0;
    std::vector<uint8_t> output_;
    size_t offset_ = 0;
};

}  // namespace

WaveFormat extensibleFormat(SampleFormat format, uint32_t rate, uint32_t channelMask) {
    WaveFormat wave{};
    wave.formatTag = platform::kWaveFormatExtensible;
    wave.channels = static_cast<uint16_t>(std::popcount(channelMask));
    wave.samplesPerSec = rate;
    const bool isFloat = format == SampleFormat::Float32;
    const uint16_t container = format == SampleFormat::Pcm8         ? 8
                               : format == SampleFormat::Pcm16      ? 16
                               : format == SampleFormat::Pcm24Tight ? 24
                                                                    : 32;
    wave.bitsPerSample = container;
    wave.validBitsPerSample = format == SampleFormat::Pcm24Padded ? 24 : container;
    wave.blockAlign = static_cast<uint16_t>(wave.channels * container / 8);
    wave.avgBytesPerSec = wave.blockAlign * rate;
    wave.cbSize = 22;
    wave.channelMask = channelMask;
    wave.subFormat = isFloat ? platform::kSubtypeIeeeFloat : platform::kSubtypePcm;
    return wave;
}

std::vector<uint8_t> formatBytes(const WaveFormat& format) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&format);
    return std::vector<uint8_t>(bytes, bytes + platform::kWaveFormatHeadSize + format.cbSize);
}

FakeAudioPlatform::FakeAudioPlatform() {
    mixFormat = formatBytes(extensibleFormat(SampleFormat::Float32, 48000, 3));
    deviceFormat = formatBytes(extensibleFormat(SampleFormat::Pcm16, 48000, 3));
    formatAnswer = [this](bool exclusive, const WaveFormat& format) {
        const std::vector<uint8_t>& accepted = exclusive ? deviceFormat : mixFormat;
        return formatBytes(format) == accepted ? kOk : platform::kUnsupportedFormat;
    };
    // Nearest-frame picking: plain enough to predict every output frame.
    convert = [](const std::vector<uint8_t>& input, uint32_t from, uint32_t to) {
        const uint64_t inFrames = input.size() / 8;
        const uint64_t outFrames = inFrames * to / from;
        std::vector<uint8_t> out(outFrames * 8);
        for (uint64_t i = 0; i < outFrames; ++i) std::memcpy(&out[i * 8], &input[i * from / to * 8], 8);
        return out;
    };
}

void FakeAudioPlatform::script(const std::string& name, std::vector<int32_t> answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_[name].assign(answers.begin(), answers.end());
}

void FakeAudioPlatform::failAlways(const std::string& name, int32_t result) {
    std::lock_guard<std::mutex> lock(mutex_);
    always_[name] = result;
}

int32_t FakeAudioPlatform::answer(const std::string& name, const std::string& args) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(args.empty() ? name : name + "(" + args + ")");
    if (auto found = answers_.find(name); found != answers_.end() && !found->second.empty()) {
        const int32_t result = found->second.front();
        found->second.pop_front();
        return result;
    }
    if (auto found = always_.find(name); found != always_.end()) return found->second;
    return kOk;
}

void FakeAudioPlatform::record(const std::string& call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(call);
}

void FakeAudioPlatform::released(const std::string& what) {
    --live_;
    record("Release(" + what + ")");
}

std::vector<std::string> FakeAudioPlatform::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

size_t FakeAudioPlatform::count(const std::string& call) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<size_t>(std::count(calls_.begin(), calls_.end(), call));
}

void FakeAudioPlatform::clearCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
}

uint32_t FakeAudioPlatform::timeGetDevCaps(uint32_t* periodMin, uint32_t* periodMax) {
    *periodMin = timerPeriodMin;
    *periodMax = 1000000;
    return static_cast<uint32_t>(answer("timeGetDevCaps"));
}

void FakeAudioPlatform::timeBeginPeriod(uint32_t period) { record("timeBeginPeriod(" + std::to_string(period) + ")"); }
void FakeAudioPlatform::timeEndPeriod(uint32_t period) { record("timeEndPeriod(" + std::to_string(period) + ")"); }

uint32_t FakeAudioPlatform::createTimerEvent(std::unique_ptr<platform::TimerEvent>* event) {
    const uint32_t error = static_cast<uint32_t>(answer("CreateEventW"));
    if (error == 0) *event = std::make_unique<FakeTimerEvent>(*this);
    return error;
}

uint32_t FakeAudioPlatform::timeSetEvent(uint32_t delayMs, platform::TimerEvent&, uint32_t* timerId) {
    const uint32_t error = static_cast<uint32_t>(answer("timeSetEvent", std::to_string(delayMs)));
    if (error == 0) *timerId = 7;
    return error;
}

void FakeAudioPlatform::timeKillEvent(uint32_t timerId) { record("timeKillEvent(" + std::to_string(timerId) + ")"); }

uint32_t FakeAudioPlatform::createThread(std::function<void()> body, std::unique_ptr<platform::AudioThread>* thread) {
    const uint32_t error = static_cast<uint32_t>(answer("CreateThread"));
    if (error == 0) *thread = std::make_unique<FakeThread>(*this, std::move(body));
    return error;
}

uint32_t FakeAudioPlatform::joinProAudioTask() {
    return static_cast<uint32_t>(answer("AvSetMmThreadCharacteristicsW"));
}
uint32_t FakeAudioPlatform::raiseToTimeCritical() { return static_cast<uint32_t>(answer("SetThreadPriority")); }

void FakeAudioPlatform::waitForTimer(platform::TimerEvent&, uint32_t timeoutMs) {
    if (timerNeverSignalled) {
        std::unique_lock<std::mutex> lock(timerMutex_);
        timerSignal_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [] { return false; });
    }
    record("WaitForSingleObject(TimerEvent, " + std::to_string(timeoutMs) + ")");
    ++waits;
    if (onWait) onWait();
    if (realThreads) std::this_thread::yield();
}

void FakeAudioPlatform::sleep(uint32_t ms) {
    record("Sleep(" + std::to_string(ms) + ")");
    if (onWait && ms == 1) {
        ++waits;
        onWait();
    }
}

int32_t FakeAudioPlatform::createDeviceEnumerator(std::unique_ptr<platform::DeviceEnumerator>* enumerator) {
    const int32_t result = answer("CoCreateInstance(MMDeviceEnumerator)");
    if (!platform::failed(result)) *enumerator = std::make_unique<FakeEnumerator>(*this);
    return result;
}

int32_t FakeAudioPlatform::createResampler(std::unique_ptr<platform::SampleRateTransform>* transform) {
    const int32_t result = answer("CoCreateInstance(Resampler)");
    if (!platform::failed(result)) *transform = std::make_unique<FakeTransform>(*this);
    return result;
}

int32_t FakeAudioPlatform::guidText(const platform::Guid&, std::wstring* text) {
    const int32_t result = answer("StringFromCLSID");
    if (!platform::failed(result)) *text = L"{00000009-0000-0010-8000-00AA00389B71}";
    return result;
}

uint32_t FakeAudioPlatform::utf8ToWide(const char* text, std::wstring* wide) {
    const uint32_t error = static_cast<uint32_t>(answer("MultiByteToWideChar"));
    if (error == 0) wide->assign(text, text + std::strlen(text));  // the fake's ids are ASCII
    return error;
}

uint32_t FakeAudioPlatform::wideToUtf8(const wchar_t* text, std::string* utf8) {
    const uint32_t error = static_cast<uint32_t>(answer("WideCharToMultiByte"));
    if (error == 0) {
        utf8->clear();
        for (const wchar_t* c = text; *c != 0; ++c) utf8->push_back(static_cast<char>(*c));
    }
    return error;
}

}  // namespace cl::test
