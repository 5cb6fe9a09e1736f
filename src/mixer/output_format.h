#pragma once
// The format the mixer writes, and its change by the provider's open step.
#include <atomic>
#include <cstdint>

namespace cl {

struct Engine;

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

uint32_t bytesPerSample(SampleFormat format);

// Validates and sets the output format, rescales the clock and every
// scheduled start to the same time in seconds, and converts every loaded
// sound for the new rate. Logs and returns false on invalid arguments.
bool setOutputFormat(Engine& engine, SampleFormat format, uint32_t frameRate, uint32_t channels);

}  // namespace cl
