#pragma once
// The fixed table of sound records, addressed by ids that are never reused.
//
// The mixer walks slots 0 to count-1 on the audio thread without a lock:
// a record is published only when complete (slot stored before the count,
// release/acquire) and records are removed only by releaseUnloadedSounds,
// which never runs while the mixer can render.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>

#include "sound/sound_record.h"

namespace cl {

class Logger;

enum class AddRefusal { None, TableFull, IdsExhausted };

// The log line of a refused addSound.
void logAddRefusal(Logger& log, AddRefusal refusal);

class SoundTable {
public:
    static constexpr uint32_t MAX_SOUNDS = 1024;

    explicit SoundTable(uint32_t firstSoundId = 0) : firstSoundId_(firstSoundId) {}
    ~SoundTable();
    SoundTable(const SoundTable&) = delete;
    SoundTable& operator=(const SoundTable&) = delete;

    // Takes the record on success and returns its id; on refusal returns -1,
    // leaves the record with the caller and names the reason in `refusal`.
    // It logs nothing: callers log after releasing their own locks.
    int32_t addSound(std::unique_ptr<SoundRecord>& record, AddRefusal& refusal);

    // The record of a loaded sound, or null (unknown id or unloaded).
    SoundRecord* lookupSound(uint32_t id) const;

    // Frees every record once all are unloaded; ids keep increasing.
    void releaseUnloadedSounds();

    uint32_t soundCount() const { return count_.load(std::memory_order_acquire); }

    // Raised (release) after every call that may give the mixer a sound to
    // visit (play, stop, schedule, unschedule, unload) and by a release of
    // the table. While it holds still the mixer need not scan the table:
    // the sounds to visit are those it visited last, less the ones done.
    void raiseVisitGeneration() { visitGeneration_.fetch_add(1, std::memory_order_release); }
    uint64_t visitGeneration() const { return visitGeneration_.load(std::memory_order_acquire); }
    SoundRecord* slot(uint32_t index) const { return slots_[index].load(std::memory_order_relaxed); }
    uint32_t firstSoundId() const { return firstSoundId_.load(std::memory_order_relaxed); }

    // Per-sound calls of any thread hold this shared with a try; the release
    // holds it exclusively. Order: soundAccessLock before soundTableLock.
    std::shared_mutex soundAccessLock;
    std::mutex soundTableLock;

private:
    std::array<std::atomic<SoundRecord*>, MAX_SOUNDS> slots_{};
    std::atomic<uint32_t> firstSoundId_;
    std::atomic<uint32_t> count_{0};
    std::atomic<uint64_t> visitGeneration_{0};
};

// Holds soundAccessLock shared if a try succeeds; never waits.
class SoundAccess {
public:
    explicit SoundAccess(SoundTable& table) : lock_(table.soundAccessLock, std::try_to_lock) {}
    bool granted() const { return lock_.owns_lock(); }
    void release() {
        if (lock_.owns_lock()) lock_.unlock();
    }

private:
    std::shared_lock<std::shared_mutex> lock_;
};

}  // namespace cl
