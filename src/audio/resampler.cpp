#include "audio/resampler.h"

#include <cstring>
#include <memory>
#include <stdexcept>

#include "audio/service_advice.h"
#include "core/log.h"
#include "core/provider.h"
#include "platform/audio_results.h"
#include "sound/sample_memory.h"

namespace cl {
namespace {

constexpr uint32_t kFrameBytes = 8;  // two 32-bit floats

platform::WaveFormat stereoFloat(uint32_t rate) {
    platform::WaveFormat format{};
    format.formatTag = platform::kWaveFormatIeeeFloat;
    format.channels = 2;
    format.samplesPerSec = rate;
    format.avgBytesPerSec = rate * kFrameBytes;
    format.blockAlign = kFrameBytes;
    format.bitsPerSample = 32;
    return format;
}

// A result that names a call the game skipped carries the advice to make it.
void check(int32_t result) {
    if (!platform::failed(result)) return;
    if (const char* advice = serviceAdvice(result)) throw ProviderFailure("Operation failed", advice);
    throw std::runtime_error("Operation failed");
}

struct SamplesDeleter {
    void operator()(float* samples) const { freeSamples(samples); }
};

}  // namespace

uint64_t resampleCapacity(uint64_t sourceBytes, uint32_t sourceRate, uint32_t destinationRate) {
    const uint64_t frames = sourceBytes / kFrameBytes * destinationRate / sourceRate;
    return frames * kFrameBytes + kFrameBytes;
}

void resampleStereoFloat(Logger& log, platform::AudioPlatform& platform, const uint8_t* source, uint64_t sourceBytes,
                         float** destination, uint64_t* destinationBytes, uint32_t sourceRate,
                         uint32_t destinationRate) {
    if (sourceRate == 0 || destinationRate == 0 || sourceBytes > UINT32_MAX)
        throw std::runtime_error("Operation failed");
    const uint64_t capacity = resampleCapacity(sourceBytes, sourceRate, destinationRate);
    // Sample counts are 32-bit: a result that cannot be counted is refused,
    // before the transform exists (a converter may do all its work, and
    // take all its memory, in ProcessInput).
    if (capacity / sizeof(float) > UINT32_MAX) throw std::runtime_error("Operation failed");

    std::unique_ptr<platform::SampleRateTransform> transform;
    check(platform.createResampler(&transform));
    check(transform->SetTypes(stereoFloat(sourceRate), stereoFloat(destinationRate)));
    check(transform->ProcessInput(source, static_cast<size_t>(sourceBytes)));

    // Kept here until the conversion has succeeded, so a failure leaks nothing.
    std::unique_ptr<float, SamplesDeleter> converted(allocateSamples(static_cast<size_t>(capacity / sizeof(float))));
    if (converted == nullptr) throw std::runtime_error("Pointer was null");
    uint8_t* const out = reinterpret_cast<uint8_t*>(converted.get());

    uint64_t count = 0;
    for (;;) {
        const uint8_t* bytes = nullptr;
        size_t length = 0;
        const int32_t result = transform->ProcessOutput(&bytes, &length);
        if (result == platform::kTransformNeedMoreInput) break;
        check(result);
        if (count + length > capacity) {
            log.message(3, "[CL] [tid=%4x] Expected at most %d bytes, got %d\n", tid(), static_cast<int>(capacity),
                        static_cast<int>(count + length));
            length = static_cast<size_t>(capacity - count);
        }
        if (length > 0) std::memcpy(out + count, bytes, length);
        count += length;
        if (count >= capacity) {
            log.message(3, "[CL] [tid=%4x] Got %d bytes without exhausting output (output was truncated)\n", tid(),
                        static_cast<int>(count));
            break;
        }
    }
    *destination = converted.release();
    *destinationBytes = count;
}

}  // namespace cl
