#include "audio/audio_wasapi.h"

#include "audio/audio_thread.h"
#include "audio/client_open.h"
#include "audio/device_clock.h"
#include "audio/device_enumeration.h"
#include "audio/format_log.h"
#include "audio/format_negotiation.h"
#include "audio/resampler.h"
#include "audio/service_advice.h"
#include "core/output_format.h"
#include "platform/audio_results.h"

namespace cl {

void logCheckFailure(Logger& log, int check, int32_t result) {
    log.message(3, "[CL] [tid=%4x] audio_wasapi@19d5a091:%d failed with HRESULT %#x\n", tid(), check,
                static_cast<unsigned>(result));
}

void logLastErrorFailure(Logger& log, int check, uint32_t lastError) {
    log.message(3, "[CL] [tid=%4x] audio_wasapi@19d5a091:%d failed with last error %#x\n", tid(), check, lastError);
}

WasapiProvider::WasapiProvider(platform::AudioPlatform& platform) : platform_(platform) {}

WasapiProvider::~WasapiProvider() {
    if (state_.audioThread) Shutdown();
}

void WasapiProvider::attach(Logger& log) {
    log_ = &log;
    notificationClient_.setLog(log_);
}

Logger& WasapiProvider::log() {
    static Logger silent(nullptr);  // a provider used outside an engine logs nowhere
    return log_ != nullptr ? *log_ : silent;
}

bool WasapiProvider::Init(ProviderHost& host, const ProviderInitArgs& args) {
    Logger& log = host.logger();
    initAdvice_ = nullptr;
    state_.sleepPolling = args.sleepPolling;
    state_.useMmcss = args.useMmcss;
    if (!platform_.hasAudioDevices()) {
        log.message(3, "[CL] [tid=%4x] WASAPI output is not available in this build\n", tid());
        return false;
    }
    uint32_t periodMin = 0;
    uint32_t periodMax = 0;
    if (const uint32_t result = platform_.timeGetDevCaps(&periodMin, &periodMax); result != 0) {
        log.message(3, "[CL] [tid=%4x] Failed to get time limits: %#x\n", tid(), result);
        return false;
    }
    ClientDefaults defaults;
    if (!open(host, args, periodMin, &defaults)) {
        releaseAfterFailure();
        return false;
    }
    log.message(1, "[CL] [tid=%4x] Default settings: shared=%.1fms, exclusive=%.1fms\n", tid(),
                static_cast<double>(defaults.sharedMs), static_cast<double>(defaults.exclusiveMs));
    if (args.exclusiveDefaultMs != nullptr) *args.exclusiveDefaultMs = defaults.exclusiveMs;
    if (args.sharedDefaultMs != nullptr) *args.sharedDefaultMs = defaults.sharedMs;
    platform_.timeBeginPeriod(1);
    return true;
}

// The device and its property store are released when this returns, on
// every path; what the output keeps is in state_.
bool WasapiProvider::open(ProviderHost& host, const ProviderInitArgs& args, uint32_t timerPeriodMin,
                          ClientDefaults* defaults) {
    Logger& log = host.logger();
    std::unique_ptr<platform::AudioDevice> device;
    std::unique_ptr<platform::PropertyStore> store;

    if (const int32_t result = platform_.createDeviceEnumerator(&state_.deviceEnumerator); platform::failed(result)) {
        logCheckFailure(log, 859, result);
        initAdvice_ = serviceAdvice(result);  // the first COM call: where a thread without COM fails
        return false;
    }
    if (args.deviceId != nullptr) {
        std::wstring id;
        if (const uint32_t error = platform_.utf8ToWide(args.deviceId, &id); error != 0) {
            logLastErrorFailure(log, 865, error);
            return false;
        }
        // A device chosen by id is kept even when the default changes.
        if (const int32_t result = state_.deviceEnumerator->GetDevice(id, &device); platform::failed(result)) {
            logCheckFailure(log, 874, result);
            return false;
        }
    } else {
        if (const int32_t result = state_.deviceEnumerator->GetDefaultAudioEndpoint(&device);
            platform::failed(result)) {
            logCheckFailure(log, 882, result);
            return false;
        }
        if (const int32_t result = state_.deviceEnumerator->RegisterEndpointNotificationCallback(&notificationClient_);
            platform::failed(result)) {
            logCheckFailure(log, 887, result);
            return false;
        }
    }

    std::wstring friendlyName;
    if (const int32_t result = device->OpenPropertyStore(&store); platform::failed(result)) {
        logCheckFailure(log, 893, result);
        return false;
    }
    if (const int32_t result = store->GetFriendlyName(&friendlyName); platform::failed(result)) {
        logCheckFailure(log, 899, result);
        return false;
    }
    if (const int32_t result = device->ActivateEndpointVolume(&state_.endpointVolume); platform::failed(result)) {
        logCheckFailure(log, 907, result);
        return false;
    }
    state_.hasClient3 = !platform::failed(device->ActivateAudioClient(true, &state_.audioClient));
    if (!state_.hasClient3) {
        state_.audioClient.reset();
        if (const int32_t result = device->ActivateAudioClient(false, &state_.audioClient); platform::failed(result)) {
            logCheckFailure(log, 944, result);
            return false;
        }
    }

    const FormatContext formats{log, platform_, *device, *state_.audioClient};
    platform::WaveFormat chosen{};
    const int32_t format = chooseFormat(formats, args.exclusive, args.frameRate, &chosen);
    if (format == kNoFormat) {
        log.message(3, "[CL] [tid=%4x] No suitable format found (%s @ %dHz)\n", tid(),
                    args.exclusive ? "Exclusive" : "Shared", static_cast<int>(args.frameRate));
        logFormatTable(log, platform_, *device, *state_.audioClient);
        return false;
    }
    logFormat(log, platform_, chosen, "Selected");
    const uint32_t rate = args.frameRate != 0 ? args.frameRate : chosen.samplesPerSec;
    if (!host.setOutputFormat(static_cast<SampleFormat>(format), rate, chosen.channels)) {
        log.message(3, "[CL] [tid=%4x] Failed to set format\n", tid());
        return false;
    }

    state_.figures = OutputFigures{};
    state_.figures.format = static_cast<SampleFormat>(format);
    state_.figures.frameRate = rate;
    state_.figures.channels = chosen.channels;
    const ClientRequest request{args.exclusive, args.bufferMs, args.strictBufferSize, timerPeriodMin};
    if (!openClient(log, platform_, state_, chosen, request, defaults)) return false;
    openDeviceClock(log, state_, rate);
    state_.underruns.store(0, std::memory_order_relaxed);

    state_.running.store(1, std::memory_order_relaxed);
    if (const uint32_t error = platform_.createTimerEvent(&state_.timerEvent); error != 0) {
        log.message(3, "[CL] [tid=%4x] Failed to create timer event: %#x\n", tid(), error);
        return false;
    }
    if (const uint32_t error = platform_.timeSetEvent(timerPeriodMin, *state_.timerEvent, &state_.timerId);
        error != 0) {
        log.message(3, "[CL] [tid=%4x] Failed to start timer: %#x\n", tid(), error);
        return false;
    }
    // Cleared before the thread exists, so a loss the thread reports at once
    // (a failed Start) is not wiped out by this Init; kept on failure.
    const uint8_t wasLost = state_.deviceLost.exchange(0, std::memory_order_relaxed);
    const AudioThreadContext thread{host, platform_, state_};
    if (const uint32_t error = platform_.createThread([thread] { audioThreadMain(thread); }, &state_.audioThread);
        error != 0) {
        state_.deviceLost.store(wasLost, std::memory_order_relaxed);
        log.message(3, "[CL] [tid=%4x] Failed to create thread: %#x\n", tid(), error);
        return false;
    }
    return true;
}

void WasapiProvider::releaseAfterFailure() {
    state_.running.store(0, std::memory_order_release);
    if (state_.timerId != 0) {
        platform_.timeKillEvent(state_.timerId);
        state_.timerId = 0;
    }
    state_.timerEvent.reset();
    if (state_.deviceEnumerator) {
        state_.deviceEnumerator->UnregisterEndpointNotificationCallback();  // harmless when never registered
        state_.deviceEnumerator.reset();
    }
    state_.audioClock.reset();
    state_.renderClient.reset();
    state_.audioClient.reset();
    state_.hasClient3 = false;
    state_.endpointVolume.reset();
}

void WasapiProvider::Shutdown() {
    state_.running.store(0, std::memory_order_release);
    if (state_.audioThread) {
        state_.audioThread->join();
        state_.audioThread.reset();
    }
    if (state_.timerId != 0) platform_.timeKillEvent(state_.timerId);
    state_.timerId = 0;
    state_.timerEvent.reset();
    if (state_.deviceEnumerator) {
        state_.deviceEnumerator->UnregisterEndpointNotificationCallback();
        state_.deviceEnumerator.reset();
    }
    state_.audioClock.reset();
    state_.renderClient.reset();
    state_.audioClient.reset();
    state_.hasClient3 = false;
    state_.endpointVolume.reset();
    platform_.timeEndPeriod(1);
}

void WasapiProvider::Resample(const float* source, uint32_t sourceCount, float** destination,
                              uint32_t* destinationCount, uint32_t sourceRate, uint32_t destinationRate) {
    float* converted = nullptr;
    uint64_t bytes = 0;
    resampleStereoFloat(log(), platform_, reinterpret_cast<const uint8_t*>(source),
                        static_cast<uint64_t>(sourceCount) * sizeof(float), &converted, &bytes, sourceRate,
                        destinationRate);
    *destination = converted;
    *destinationCount = static_cast<uint32_t>(bytes / sizeof(float));
}

OutputFigures WasapiProvider::GetOutputInfo() const {
    OutputFigures figures = state_.figures;
    figures.underruns = state_.underruns.load(std::memory_order_relaxed);
    return figures;
}

bool WasapiProvider::EnumerateDevices(DeviceCallback callback) {
    if (!platform_.hasAudioDevices()) return true;  // nothing to list in a build without WASAPI
    return enumerateDevices(log(), platform_, callback);
}

}  // namespace cl
