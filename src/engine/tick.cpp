#include "engine/tick.h"

namespace cl {

void tick(Engine& engine) {
    if (engine.isMainThread()) {
        if (engine.audio.audioInitialised.load(std::memory_order_relaxed)) engine.currentProvider().Tick();
    } else {
        requireMainThread(engine, "TickAudio");  // logs; the input half still runs
    }
    if (InputTicker* input = engine.inputTicker.load(std::memory_order_acquire)) input->tickInputProviders();
}

}  // namespace cl
