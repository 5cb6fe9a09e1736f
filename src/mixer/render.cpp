#include "mixer/render.h"

#include <cstring>

#include "mixer/render_block.h"

namespace cl {

CL_REALTIME RenderResult renderBuffer(MixerState& engine, uint8_t* out, uint32_t frames, uint8_t** nextOut,
                                      uint32_t* framesDone, BlockClock* clockUsed) {
    return renderBufferWith<NoSeam>(engine, out, frames, nextOut, framesDone, clockUsed);
}

namespace {
constexpr std::memory_order relaxed = std::memory_order_relaxed;
}

CL_REALTIME void fillSilence(MixerState& engine, uint8_t* out, uint32_t frames) {
    const OutputFormat& output = engine.output;
    const SampleFormat format = output.outputFormat.load(relaxed);
    const size_t bytes = static_cast<size_t>(frames) * output.outputChannels.load(relaxed) * bytesPerSample(format);
    std::memset(out, silenceByte(format), bytes);
}

CL_REALTIME uint32_t renderPeriod(MixerState& engine, uint8_t* buffer, uint32_t frames, int64_t streamFrame) {
    // Raised before renderBuffer reads the pause flag or the clock, so a main
    // thread that set either and then sees renderActive clear knows that no
    // render saw the old value.
    engine.pause.renderActive.exchange(1, std::memory_order_seq_cst);
    uint32_t flags = 0;
    uint8_t* out = buffer;
    uint32_t left = frames;
    while (left > 0) {
        uint8_t* next = nullptr;
        uint32_t done = 0;
        BlockClock used;
        const int64_t runStart = streamFrame + (frames - left);
        if (renderBuffer(engine, out, left, &next, &done, &used) == RenderResult::Silent) {
            engine.clock.heard.recordRender(runStart, used.start, used.advances, left);
            engine.buses.snapAll();  // no ramp when sound resumes
            if (out != buffer) {
                fillSilence(engine, out, left);
            } else {
                flags = static_cast<uint32_t>(RenderResult::Silent);
            }
            break;
        }
        engine.clock.heard.recordRender(runStart, used.start, used.advances, done);
        out = next;
        left -= done;
    }
    engine.pause.renderActive.exchange(0, std::memory_order_seq_cst);
    return flags;
}

}  // namespace cl
