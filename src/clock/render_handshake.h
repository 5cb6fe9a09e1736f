#pragma once
#include "clock/timing_state.h"
namespace cl {

// Spins until the audio thread has left the render in progress (renderActive
// clear). Gives up after the engine's timeout with "<operation> timed out
// waiting for audio thread to yield" and returns false.
bool waitForRenderToYield(TimingState& engine, const char* operation);

// What the main thread may do without the audio thread, decided from the
// flags as they are now rather than from what an earlier wait returned: a
// wait that timed out leaves renderActive raised, and so grants nothing.
// Both stay true until the main thread itself starts the clock or unpauses:
// a render that begins later sees the clock stopped or the pause.

// No render can touch any sound record: output is closed, or audio is
// paused and no render is in progress. Records may be freed.
bool rendersAreHeld(TimingState& engine);

// No render can consume start events: the clock is stopped or audio is
// paused, and no render is in progress (or output is closed). The main
// thread may then use the active queues directly.
bool startEventsAreHeld(TimingState& engine);

}  // namespace cl
