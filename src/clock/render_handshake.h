#pragma once
namespace cl {
struct Engine;

// Spins until the audio thread has left the render in progress (renderActive
// clear). Gives up after the engine's timeout with "<operation> timed out
// waiting for audio thread to yield" and returns false.
bool waitForRenderToYield(Engine& engine, const char* operation);

}  // namespace cl
