#pragma once
// Offline rendering: output opened through the fake provider (32-bit float
// unless a test asks otherwise) and rendered by calling the mixer directly,
// as the audio thread would.
#include <algorithm>
#include <cstring>
#include <vector>

#include "fakes/engine_fixture.h"
#include "fakes/render_watch.h"
#include "mixer/render.h"
#include "mixer/voice_params.h"
#include "sound/loading.h"
#include "sound/playback.h"

namespace cl::test {

// Seconds that truncate to exactly `frame` at 48000 frames per second.
inline double at(int64_t frame) { return (static_cast<double>(frame) + 0.5) / 48000.0; }

class MixerTest : public EngineTest {
protected:
    void SetUp() override { openFake(48000, SampleFormat::Float32); }

    // Loads a stereo sound whose left and right samples are given per frame.
    int32_t loadFrames(const std::vector<float>& left, const std::vector<float>& right, uint32_t bus = 0,
                       uint32_t rate = 0) {
        std::vector<float> samples(left.size() * 2);
        for (size_t i = 0; i < left.size(); ++i) samples[2 * i] = left[i], samples[2 * i + 1] = right[i];
        return loadFloat(engine_, samples.data(), static_cast<uint32_t>(samples.size()), 2,
                         rate ? rate : engine_.output.frameRate(), bus, 1.0f, 0.0f, false, nullptr);
    }
    // Frame i holds the value (i + 1) / 65536 on both channels: positions
    // read back exactly from the output.
    int32_t loadRamp(uint32_t frames, uint32_t bus = 0) {
        std::vector<float> values(frames);
        for (uint32_t i = 0; i < frames; ++i) values[i] = static_cast<float>(i + 1) / 65536.0f;
        return loadFrames(values, values, bus);
    }
    int32_t loadConstant(uint32_t frames, float value, uint32_t bus = 0) {
        std::vector<float> values(frames, value);
        return loadFrames(values, values, bus);
    }
    void play(int32_t id) { playFrom(engine_, static_cast<uint32_t>(id), 0.0); }

    // The voice's position in frames, -1 when idle.
    int64_t framesBetween(int32_t id) {
        const SoundRecord& record = *engine_.sounds.slot(static_cast<uint32_t>(id) - engine_.sounds.firstSoundId());
        const float* pos = record.playPos.load();
        return pos == nullptr ? -1 : (pos - record.data.load()) / 2;
    }

    // Renders `frames` frames of one period; returns the raw bytes.
    std::vector<uint8_t> renderBytes(uint32_t frames) {
        const uint32_t frameBytes =
            engine_.output.outputChannels.load() * bytesPerSample(engine_.output.outputFormat.load());
        std::vector<uint8_t> bytes(static_cast<size_t>(frames) * frameBytes, 0xEE);
        const RenderingScope rendering;
        lastFlags_ = renderPeriod(engine_, bytes.data(), frames, streamFrames_);
        streamFrames_ += frames;
        return bytes;
    }
    // Renders float output and returns the samples, interleaved.
    std::vector<float> render(uint32_t frames) {
        std::vector<uint8_t> bytes = renderBytes(frames);
        std::vector<float> samples(bytes.size() / 4);
        std::memcpy(samples.data(), bytes.data(), bytes.size());
        return samples;
    }
    // Left channel only, for two-channel float output.
    std::vector<float> renderLeft(uint32_t frames) {
        std::vector<float> all = render(frames);
        std::vector<float> left(frames);
        for (uint32_t i = 0; i < frames; ++i) left[i] = all[2 * i];
        return left;
    }

    // Left channel over several periods that do not line up with the
    // mixer's 512-frame blocks.
    std::vector<float> renderLeftInPeriods(uint32_t frames, uint32_t period = 480) {
        std::vector<float> all;
        while (all.size() < frames) {
            std::vector<float> part =
                renderLeft(std::min<uint32_t>(period, frames - static_cast<uint32_t>(all.size())));
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }

    uint32_t lastFlags_ = 0;
    int64_t streamFrames_ = 0;  // the stream as the device would count it

public:
    // The frame of the ramp that the output sample shows (-1 for silence).
    static int64_t rampFrame(float sample) {
        return sample == 0.0f ? -1 : static_cast<int64_t>(sample * 65536.0f + 0.5f) - 1;
    }
};

}  // namespace cl::test
