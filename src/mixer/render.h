#pragma once
// The mixer: renders blocks of device frames from every playing voice.
#include <cstdint>

#include "core/realtime.h"
#include "mixer/block_clock.h"
#include "mixer/mixer_state.h"

namespace cl {

// Values of the device's buffer flags: Silent is the "silent" release flag.
enum class RenderResult : uint32_t { Rendered = 0, Silent = 2 };

// Renders min(frames, 512) frames at out, or returns Silent without writing
// (audio paused, or no sound loaded). Called by the audio thread, by the
// null path and directly by tests. clockUsed, when given, receives the
// clock the call's frames carry (for Silent: all `frames` of them); a
// stopped clock carries the frame it stopped at.
CL_REALTIME RenderResult renderBuffer(MixerState& engine, uint8_t* out, uint32_t frames, uint8_t** nextOut,
                                      uint32_t* framesDone, BlockClock* clockUsed = nullptr);

// Writes `frames` frames of silence in the output format.
CL_REALTIME void fillSilence(MixerState& engine, uint8_t* out, uint32_t frames);

// What the audio thread does for one device period, the stream frames from
// streamFrame on: raises renderActive, renders until the period is full,
// records the clock each run of frames carries (the heard clock), and lowers
// renderActive. Returns the release flags: Silent's value when the whole
// period is silent and nothing was written.
CL_REALTIME uint32_t renderPeriod(MixerState& engine, uint8_t* buffer, uint32_t frames, int64_t streamFrame);

}  // namespace cl
