#pragma once
// The lookup every per-sound call of any thread starts with: a shared,
// non-waiting hold on soundAccessLock, then the record, or a log line
// "Failed to <action> sound %d (sound is locked | sound does not exist)".
//
// Lines are logged with the lock released, so a log receiver may call back
// into the library: a caller that refuses after the lookup calls release()
// before it logs.
#include <cstdint>

#include "sound/sound_state.h"

namespace cl {

class SoundCall {
public:
    // action: the words between "Failed to " and " sound", e.g. "play" or
    // "set gain for".
    SoundCall(SoundState& engine, uint32_t id, const char* action) : access_(engine.sounds) {
        if (!access_.granted()) {
            engine.log.message(3, "[CL] [tid=%4x] Failed to %s sound %d (sound is locked)\n", tid(), action,
                               static_cast<int>(id));
            return;
        }
        record_ = engine.sounds.lookupSound(id);
        if (record_ == nullptr) {
            access_.release();
            engine.log.message(3, "[CL] [tid=%4x] Failed to %s sound %d (sound does not exist)\n", tid(), action,
                               static_cast<int>(id));
        }
    }
    // Null when the call was refused (already logged).
    SoundRecord* record() const { return record_; }
    // Gives the lock up early; the record must not be used afterwards.
    void release() {
        access_.release();
        record_ = nullptr;
    }

private:
    SoundAccess access_;
    SoundRecord* record_ = nullptr;
};

}  // namespace cl
