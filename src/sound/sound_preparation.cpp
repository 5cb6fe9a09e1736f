#include "sound/sound_preparation.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>

#include "core/float_convert.h"
#include "sound/sound_record.h"
#include "sound/sound_state.h"

namespace cl {
namespace {

// Frames between two positions of one buffer (positions are float pointers).
uint32_t framesBetween(const float* from, const float* to) { return static_cast<uint32_t>((to - from) / 2); }

uint32_t targetRate(float rateFactor, bool runtimeSpeed, uint32_t outputRate) {
    const float divisor = runtimeSpeed ? 1.0f : rateFactor;
    // A factor within its bounds and an extreme output rate could still give
    // a rate of 0 (a division by zero in any resampler) or beyond u32: keep
    // the rate in [1, u32 max].
    const uint32_t rate = saturatingTruncate<uint32_t>(static_cast<float>(outputRate) / divisor);
    return rate == 0 ? 1 : rate;
}

uint32_t targetRate(const SoundRecord& record, uint32_t outputRate) {
    return targetRate(record.rateFactor, record.runtimeSpeed != 0, outputRate);
}

const char* frameWord(uint64_t frames) { return frames == 1 ? "frame" : "frames"; }

// A conversion that would leave the sound empty although its source has
// frames (`converted`: one that did) is refused rather than kept silent.
[[noreturn]] void throwNoFrames(uint64_t sourceFrames, uint32_t sourceRate, uint32_t target, bool converted) {
    char reason[128];
    std::snprintf(reason, sizeof reason, "%" PRIu64 " %s at %" PRIu32 " Hz %s none at %" PRIu32 " Hz", sourceFrames,
                  frameWord(sourceFrames), sourceRate, converted ? "became" : "would become", target);
    throw std::runtime_error(reason);
}

// Decides from the numbers alone, in constant time, whether converting
// `sourceFrames` frames from `sourceRate` to `target` gives a sound that can
// be kept: throws the reason when it would hold more frames than a sound can
// count, or none although the source has some. The frames expected follow
// the resampler's own rule (whole source frames times the rate ratio),
// exact in 64 bits: frames < 2^31 and rates < 2^32.
void checkConversion(uint64_t sourceFrames, uint32_t sourceRate, uint32_t target) {
    if (sourceRate == target || sourceFrames == 0) return;  // nothing is converted
    const uint64_t frames = sourceFrames * target / sourceRate;
    if (frames == 0) throwNoFrames(sourceFrames, sourceRate, target, false);
    if (frames > kMaxPreparedFrames) {
        char reason[160];
        std::snprintf(reason, sizeof reason,
                      "%" PRIu64 " %s at %" PRIu32 " Hz would become %" PRIu64 " at %" PRIu32 " Hz, more than %" PRIu64,
                      sourceFrames, frameWord(sourceFrames), sourceRate, frames, target, kMaxPreparedFrames);
        throw std::runtime_error(reason);
    }
}

const char* copyName(const char* name) {
    if (name == nullptr) return kUnknownName;
    const size_t length = std::strlen(name);
    char* copy = new char[length + 1];
    std::memcpy(copy, name, length + 1);
    return copy;
}

}  // namespace

double rateFactor(float speed, float semitones) {
    return std::exp2(std::log2(static_cast<double>(speed)) + static_cast<double>(semitones) / 12.0);
}

void initSoundRecord(SoundState& engine, SoundRecord& record, const float* samples, uint32_t sampleCount,
                     uint32_t channels, uint32_t frameRate, uint32_t bus, float speed, float semitones,
                     uint8_t runtimeSpeed, const char* name) {
    // Stereo data of odd length ends in half a frame the mixer would read
    // past; it is dropped. Mono counts were checked to fit when doubled.
    const uint32_t stereoCount = channels == 1 ? sampleCount * 2 : sampleCount & ~1u;
    // The factor was checked to lie within its bounds, where a float holds it.
    const float factor = static_cast<float>(rateFactor(speed, semitones));
    // Decided before the copy, so a sound that cannot be kept costs nothing.
    checkConversion(stereoCount / 2, frameRate, targetRate(factor, runtimeSpeed != 0, engine.output.frameRate()));

    float* copy = engine.allocateSamples(stereoCount);
    if (copy == nullptr) throw std::runtime_error("Pointer was null");
    if (channels == 1) {
        for (uint32_t i = 0; i < sampleCount; ++i) copy[2 * i] = copy[2 * i + 1] = samples[i];
    } else if (stereoCount > 0) {
        std::memcpy(copy, samples, stereoCount * sizeof(float));
    }
    record.sourceData = copy;  // owned by the record from here on
    record.sourceSampleCount = stereoCount;
    record.sourceFrameRate = frameRate;
    record.data.store(copy, std::memory_order_relaxed);
    record.sampleCount.store(stereoCount, std::memory_order_relaxed);
    record.frameRate = frameRate;
    record.dataEnd.store(copy + stereoCount, std::memory_order_relaxed);

    record.name = copyName(name);
    record.bus = bus;
    record.speed = speed;
    record.semitones = semitones;
    record.rateFactor = factor;
    record.runtimeSpeed = runtimeSpeed;

    convertSound(engine, record, engine.output.frameRate());
}

void convertSound(SoundState& engine, SoundRecord& record, uint32_t outputRate) {
    const uint32_t target = targetRate(record, outputRate);
    if (record.frameRate == target) return;

    float* const oldData = record.data.load(std::memory_order_relaxed);
    float* const oldPos = record.playPos.load(std::memory_order_relaxed);
    float* const oldEnd = record.playEnd.load(std::memory_order_relaxed);
    float* const oldDataEnd = record.dataEnd.load(std::memory_order_relaxed);
    const bool playing = oldPos != nullptr;
    const uint32_t position = playing ? framesBetween(oldData, oldPos) : 0;
    const bool toTheEnd = playing && oldEnd == oldDataEnd;
    const uint32_t stopFrame = playing ? framesBetween(oldData, oldEnd) : 0;
    const float ratio = static_cast<float>(target) / static_cast<float>(record.frameRate);

    // Convert before touching the record, so a failing resampler leaves it
    // whole (on its source samples, as with a provider that does not convert).
    // A sound that could not be kept fails the same way, before converting.
    float* converted = nullptr;
    uint32_t convertedCount = 0;
    std::exception_ptr failure;
    if (record.sourceFrameRate != target) {
        const uint64_t sourceFrames = record.sourceSampleCount / 2;
        try {
            checkConversion(sourceFrames, record.sourceFrameRate, target);
            engine.currentProvider().Resample(record.sourceData, record.sourceSampleCount, &converted, &convertedCount,
                                              record.sourceFrameRate, target);
            if (converted != nullptr && convertedCount / 2 == 0 && sourceFrames > 0) {
                // A converter with a delay it does not flush may give none
                // where the rule expects a few (Media Foundation on Wine
                // keeps back a few dozen source frames).
                freeSamples(converted);
                converted = nullptr;
                throwNoFrames(sourceFrames, record.sourceFrameRate, target, true);
            }
        } catch (...) {
            failure = std::current_exception();
            if (converted != nullptr) freeSamples(converted);
            converted = nullptr;
        }
    }
    if (oldData != record.sourceData) freeSamples(oldData);

    float* data = record.sourceData;
    uint32_t count = record.sourceSampleCount;
    if (converted != nullptr) {
        data = converted;
        count = convertedCount & ~1u;  // whole frames only
    }
    float* const dataEnd = data + count;
    record.data.store(data, std::memory_order_relaxed);
    record.sampleCount.store(count, std::memory_order_relaxed);
    record.frameRate = target;
    record.dataEnd.store(dataEnd, std::memory_order_relaxed);

    if (playing) {
        const uint32_t frames = count / 2;
        auto scaled = [&](uint32_t frame) {
            const uint32_t rescaled = saturatingTruncate<uint32_t>(static_cast<double>(frame) * ratio);
            return rescaled < frames ? rescaled : frames;  // never beyond the new data
        };
        float* const pos = data + 2 * static_cast<size_t>(scaled(position));
        float* const end = toTheEnd ? dataEnd : data + 2 * static_cast<size_t>(scaled(stopFrame));
        // A voice whose position lands on or past its stop point has ended.
        const bool stillPlaying = pos < end;
        if (record.framesUntilStop != kNoStop) {
            const uint64_t left = saturatingTruncate<uint64_t>(static_cast<double>(record.framesUntilStop) * ratio);
            record.framesUntilStop = left > 0 ? left : 1;
        }
        record.playPos.store(stillPlaying ? pos : nullptr, std::memory_order_relaxed);
        record.playEnd.store(stillPlaying ? end : nullptr, std::memory_order_relaxed);
    }
    if (failure) std::rethrow_exception(failure);
}

}  // namespace cl
