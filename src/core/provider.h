#pragma once
// An audio provider: six operations that open and close an output, convert
// sample rates, list devices and report the device's health, and a seventh
// that describes the open output. Providers are registered under a number;
// initaudio picks one.
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>

#include "cantrelle.h"
#include "core/log.h"
#include "core/output_format.h"
#include "core/realtime.h"

namespace cl {

// Arguments 2 to 10 of initaudio, flags reduced to booleans.
struct ProviderInitArgs {
    uint32_t frameRate = 0;
    bool exclusive = false;
    float bufferMs = 0.0f;
    bool sleepPolling = false;
    bool useMmcss = false;
    float* exclusiveDefaultMs = nullptr;
    float* sharedDefaultMs = nullptr;
    const char* deviceId = nullptr;
    bool strictBufferSize = false;
};

// What an open output is, for getoutputinfo: the format the mixer writes
// and the device's figures, in output frames (0 where there is no device).
struct OutputFigures {
    SampleFormat format = SampleFormat::Pcm16;
    uint32_t frameRate = 0;
    uint32_t channels = 0;
    bool exclusive = false;
    uint32_t devicePeriodFrames = 0;
    uint32_t bufferFrames = 0;
    uint32_t fillTargetFrames = 0;
    uint32_t streamLatencyFrames = 0;  // as the device reports it, beyond the fill target
    uint64_t underruns = 0;            // wakes at which the device had run dry while playing
};

// What a provider's operation throws when a system service failed for a
// reason the game can mend (a thread without COM, Media Foundation not
// started): the usual text, and advice the caller logs as a line of its own
// after its failure line. The advice is a string literal.
class ProviderFailure : public std::runtime_error {
public:
    ProviderFailure(const char* what, const char* advice) : std::runtime_error(what), advice_(advice) {}
    const char* advice() const { return advice_; }

private:
    const char* advice_;
};

// What a provider's open output drives: the engine it was opened for. Init
// sets the format through it; the audio thread renders through it and tells
// it where the device is, so the engine knows which frame is being heard.
// Stream frames count the frames released to the device since its stream
// began, from 0; counter ticks are platform/counter.h's.
class ProviderHost {
public:
    virtual Logger& logger() = 0;
    // Logs and returns false on a format the mixer cannot write.
    virtual bool setOutputFormat(SampleFormat format, uint32_t frameRate, uint32_t channels) = 0;
    // One device period, starting at stream frame streamFrame: returns the
    // release flags (the silent flag's value when nothing was written).
    CL_REALTIME virtual uint32_t renderPeriod(uint8_t* buffer, uint32_t frames, int64_t streamFrame) = 0;
    // Audio thread: the device had played up to streamFrame at counterTicks.
    CL_REALTIME virtual void devicePlayedAt(int64_t streamFrame, int64_t counterTicks) = 0;
    // Audio thread: the device is gone (seen at counterTicks); it plays no more.
    CL_REALTIME virtual void deviceLostAt(int64_t counterTicks) = 0;

protected:
    ~ProviderHost() = default;
};

// The operations in slot order. Init receives the engine it opens output
// for, rather than reaching for process-wide state, so tests run providers
// against engines of their own.
class ProviderOps {
public:
    virtual ~ProviderOps() = default;
    // Called once by the engine that holds the provider, before any
    // operation: operations without an engine argument log through it.
    virtual void attach(Logger&) {}
    // After Init failed: advice for the game when the cause is one it can
    // mend, logged after "Failed to initialise audio"; null otherwise.
    virtual const char* initFailureAdvice() const { return nullptr; }
    virtual bool Init(ProviderHost& host, const ProviderInitArgs& args) = 0;
    virtual void Shutdown() = 0;
    // Converts interleaved stereo floats. A provider that converts allocates
    // the destination with allocateSamples and writes pointer and count; one
    // that does not convert writes nothing. May throw (ProviderFailure when
    // the game can mend the cause); callers contain it.
    virtual void Resample(const float* source, uint32_t sourceCount, float** destination, uint32_t* destinationCount,
                          uint32_t sourceRate, uint32_t destinationRate) = 0;
    virtual bool EnumerateDevices(DeviceCallback callback) = 0;
    virtual void Tick() = 0;
    virtual bool NeedsReinit() = 0;
    // After the six: what the open output is. Main thread, between a
    // successful Init and its Shutdown.
    virtual OutputFigures GetOutputInfo() const = 0;
};

// Filled once before the engine is used; read-only afterwards, so it needs no lock.
class ProviderRegistry {
public:
    void add(int32_t number, std::unique_ptr<ProviderOps> provider);
    ProviderOps* find(int32_t number) const;
    void attachAll(Logger& log);

private:
    std::map<int32_t, std::unique_ptr<ProviderOps>> providers_;
};

inline constexpr int32_t kNullProvider = 1;
inline constexpr int32_t kWasapiProvider = 2;

}  // namespace cl
