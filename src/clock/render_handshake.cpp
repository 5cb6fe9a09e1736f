#include "clock/render_handshake.h"

#include <chrono>
#include <thread>

#include "clock/timing_state.h"

namespace cl {
namespace {

// Sequentially consistent: pairs with the audio thread raising renderActive
// before it reads the pause flag and the clock (renderPeriod).
bool renderInProgress(TimingState& engine) { return engine.pause.renderActive.load(std::memory_order_seq_cst) != 0; }

// Not audioInitialised: that is set only once initaudio is done, and a log
// receiver called inside it may already race a running audio thread.
bool outputClosed(TimingState& engine) { return engine.audio.outputMayRender.load(std::memory_order_relaxed) == 0; }

bool audioPaused(TimingState& engine) { return engine.pause.audioPaused.load(std::memory_order_seq_cst) != 0; }

}  // namespace

bool waitForRenderToYield(TimingState& engine, const char* operation) {
    const auto start = std::chrono::steady_clock::now();
    while (renderInProgress(engine)) {
        if (std::chrono::steady_clock::now() - start > engine.renderYieldTimeout) {
            engine.log.message(3, "[CL] [tid=%4x] %s timed out waiting for audio thread to yield\n", tid(), operation);
            return false;
        }
        std::this_thread::yield();  // a render lasts well under a millisecond
    }
    return true;
}

bool rendersAreHeld(TimingState& engine) {
    return outputClosed(engine) || (audioPaused(engine) && !renderInProgress(engine));
}

bool startEventsAreHeld(TimingState& engine) {
    if (outputClosed(engine)) return true;
    const bool clockStopped = engine.clock.clockFrame.load(std::memory_order_seq_cst) == kClockStopped;
    return (clockStopped || audioPaused(engine)) && !renderInProgress(engine);
}

}  // namespace cl
