#pragma once
// The format the mixer writes: every room reads it; sound/output_change.h
// changes it.
#include <atomic>
#include <cstdint>

namespace cl {

enum class SampleFormat : int32_t {
    Pcm8 = 1,
    Pcm16 = 2,
    Pcm24Padded = 3,
    Pcm24Tight = 4,
    Pcm32 = 5,
    Float32 = 6,
};

inline constexpr uint32_t kDefaultFrameRate = 48000;
inline constexpr float kRampStepAt48k = 0.00125f;  // a full-scale ramp in 800 frames = 16.7 ms

// Written by setOutputFormat, which never runs while the mixer renders; read
// on every thread (relaxed: the audio thread starts after the write).
struct OutputFormat {
    std::atomic<SampleFormat> outputFormat{SampleFormat::Pcm16};
    std::atomic<uint32_t> outputFrameRate{kDefaultFrameRate};
    std::atomic<uint32_t> outputChannels{2};
    std::atomic<float> rampStep{kRampStepAt48k};

    uint32_t frameRate() const { return outputFrameRate.load(std::memory_order_relaxed); }
};

constexpr uint32_t bytesPerSample(SampleFormat format) {
    switch (format) {
        case SampleFormat::Pcm8: return 1;
        case SampleFormat::Pcm16: return 2;
        case SampleFormat::Pcm24Tight: return 3;
        case SampleFormat::Pcm24Padded:
        case SampleFormat::Pcm32:
        case SampleFormat::Float32: return 4;
    }
    return 0;
}

}  // namespace cl
