#include "clock/render_handshake.h"

#include <chrono>
#include <thread>

#include "core/engine.h"

namespace cl {

bool waitForRenderToYield(Engine& engine, const char* operation) {
    const auto start = std::chrono::steady_clock::now();
    // Sequentially consistent load: pairs with the audio thread raising
    // renderActive before it reads the flags this thread has just set.
    while (engine.pause.renderActive.load(std::memory_order_seq_cst)) {
        if (std::chrono::steady_clock::now() - start > engine.renderYieldTimeout) {
            engine.log.message(3, "[CL] [tid=%4x] %s timed out waiting for audio thread to yield\n", tid(), operation);
            return false;
        }
        std::this_thread::yield();  // a render lasts well under a millisecond
    }
    return true;
}

}  // namespace cl
