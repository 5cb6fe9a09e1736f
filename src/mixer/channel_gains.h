#pragma once
// The channel gain targets a sound's level parameters give, kept in step
// with them while several game threads set levels at once.
//
// Rule: a setter stores its parameter, then raises levelVersion; whoever
// computes the targets computes them again if the version moved meanwhile.
// The last targets stored therefore always come from the latest parameters
// (all sequentially consistent, on game threads only). The audio thread
// reads the targets with relaxed loads and takes no lock; the two targets
// may reach it in different frames, which the ramp hides.
#include <algorithm>
#include <atomic>

#include "mixer/handoff_seam.h"
#include "sound/sound_record.h"

namespace cl {

template <class Seam = NoSeam>
void updateChannelGains(SoundRecord& record) {
    uint32_t version = record.levelVersion.load();
    for (;;) {
        const float level = record.gain.load() * record.volume.load() * record.fade.load();
        const float pan = record.pan.load();
        const float left = std::min(1.0f, std::max(0.0f, 1.0f - pan)) * level;
        const float right = std::min(1.0f, std::max(0.0f, 1.0f + pan)) * level;
        Seam::reached(HandoffPoint::ChannelGainsComputed);
        record.targetLeft.store(left);
        record.targetRight.store(right);
        Seam::reached(HandoffPoint::ChannelGainsStored);
        const uint32_t now = record.levelVersion.load();
        if (now == version) return;
        version = now;
    }
}

// Stores gain, volume, fade or pan (already converted and clamped) and
// updates the targets. The smoothed gains are the mixer's alone: a voice
// started later begins at its targets, a playing one ramps to them.
template <class Seam = NoSeam>
void setLevelParameter(SoundRecord& record, std::atomic<float>& parameter, float value) {
    parameter.store(value);
    record.levelVersion.fetch_add(1);
    updateChannelGains<Seam>(record);
}

}  // namespace cl
