// Systems without WASAPI: no device can be opened or listed, but sounds are
// still converted between rates, with libsoxr.
#include <soxr.h>

#include <cstring>

#include "platform/audio_results.h"
#include "platform/audio_services.h"

namespace cl::platform {
namespace {

// The whole sound in one call. soxr_oneshot compensates its filter's delay,
// so the output starts at the source's first frame, and flushes the tail;
// it yields exactly the source's whole frames times the rate ratio.
class SoxrTransform final : public SampleRateTransform {
public:
    int32_t SetTypes(const WaveFormat& input, const WaveFormat& output) override {
        if (input.channels != 2 || output.channels != 2 || input.samplesPerSec == 0 || output.samplesPerSec == 0) {
            return kFail;
        }
        from_ = input.samplesPerSec;
        to_ = output.samplesPerSec;
        return kOk;
    }
    int32_t ProcessInput(const uint8_t* bytes, size_t size) override {
        constexpr size_t kFrameBytes = 2 * sizeof(float);
        const size_t inFrames = size / kFrameBytes;
        const size_t outFrames = static_cast<size_t>(static_cast<uint64_t>(inFrames) * to_ / from_);
        output_.assign(outFrames * 2, 0.0f);
        if (inFrames == 0 || outFrames == 0) return kOk;
        // Aligned copy: the caller's bytes need not be float-aligned.
        std::vector<float> input(inFrames * 2);
        std::memcpy(input.data(), bytes, inFrames * kFrameBytes);
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        size_t done = 0;
        if (soxr_oneshot(from_, to_, 2, input.data(), inFrames, nullptr, output_.data(), outFrames, &done, &io,
                         &quality, nullptr) != nullptr) {
            return kFail;
        }
        output_.resize(done * 2);
        return kOk;
    }
    int32_t ProcessOutput(const uint8_t** bytes, size_t* size) override {
        if (delivered_) return kTransformNeedMoreInput;
        delivered_ = true;
        *bytes = reinterpret_cast<const uint8_t*>(output_.data());
        *size = output_.size() * sizeof(float);
        return kOk;
    }

private:
    double from_ = 0;
    double to_ = 0;
    std::vector<float> output_;
    bool delivered_ = false;
};

class PosixAudioPlatform final : public AudioPlatform {
public:
    bool hasAudioDevices() const override { return false; }
    uint32_t timeGetDevCaps(uint32_t*, uint32_t*) override { return kNoDriver; }
    void timeBeginPeriod(uint32_t) override {}
    void timeEndPeriod(uint32_t) override {}
    uint32_t createTimerEvent(std::unique_ptr<TimerEvent>*) override { return kNotSupported; }
    uint32_t timeSetEvent(uint32_t, TimerEvent&, uint32_t*) override { return kNotSupported; }
    void timeKillEvent(uint32_t) override {}
    uint32_t createThread(std::function<void()>, std::unique_ptr<AudioThread>*) override { return kNotSupported; }
    uint32_t joinProAudioTask() override { return kNotSupported; }
    uint32_t raiseToTimeCritical() override { return kNotSupported; }
    void waitForTimer(TimerEvent&, uint32_t) override {}
    void sleep(uint32_t) override {}
    int32_t createDeviceEnumerator(std::unique_ptr<DeviceEnumerator>*) override { return kClassNotRegistered; }
    int32_t createResampler(std::unique_ptr<SampleRateTransform>* transform) override {
        *transform = std::make_unique<SoxrTransform>();
        return kOk;
    }
    int32_t guidText(const Guid&, std::wstring*) override { return kNotImplemented; }
    uint32_t utf8ToWide(const char*, std::wstring*) override { return kNotSupported; }
    uint32_t wideToUtf8(const wchar_t*, std::string*) override { return kNotSupported; }

private:
    static constexpr uint32_t kNoDriver = 6;       // MMSYSERR_NODRIVER
    static constexpr uint32_t kNotSupported = 50;  // ERROR_NOT_SUPPORTED
};

}  // namespace

AudioPlatform& systemAudioPlatform() {
    static PosixAudioPlatform platform;
    return platform;
}

}  // namespace cl::platform
