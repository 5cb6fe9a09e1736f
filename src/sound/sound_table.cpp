#include "sound/sound_table.h"

#include "core/log.h"

namespace cl {

SoundTable::~SoundTable() {
    const uint32_t count = count_.load(std::memory_order_relaxed);
    for (uint32_t i = 0; i < count; ++i) delete slots_[i].load(std::memory_order_relaxed);
}

void logAddRefusal(Logger& log, AddRefusal refusal) {
    switch (refusal) {
        case AddRefusal::TableFull:
            log.message(3, "[CL] [tid=%4x] MAX_SOUNDS has been exceeded; please increase and recompile\n", tid());
            break;
        case AddRefusal::IdsExhausted:
            log.message(3, "[CL] [tid=%4x] Sound ids are exhausted; no further sound can be loaded\n", tid());
            break;
        case AddRefusal::None: break;
    }
}

int32_t SoundTable::addSound(std::unique_ptr<SoundRecord>& record, AddRefusal& refusal) {
    std::lock_guard<std::mutex> guard(soundTableLock);
    const uint32_t count = count_.load(std::memory_order_relaxed);
    refusal = AddRefusal::None;
    if (count >= MAX_SOUNDS) {
        refusal = AddRefusal::TableFull;
        return -1;
    }
    const uint32_t id = firstSoundId_.load(std::memory_order_relaxed) + count;
    // 0xFFFFFFFF reads as the failure value -1 and the next id would wrap
    // onto old ones, so ids end one short of it.
    if (id == UINT32_MAX || id < count) {
        refusal = AddRefusal::IdsExhausted;
        return -1;
    }
    slots_[count].store(record.release(), std::memory_order_relaxed);
    count_.store(count + 1, std::memory_order_release);  // publishes the slot
    return static_cast<int32_t>(id);
}

SoundRecord* SoundTable::lookupSound(uint32_t id) const {
    const uint32_t first = firstSoundId_.load(std::memory_order_relaxed);
    if (id < first || id - first >= soundCount()) return nullptr;
    SoundRecord* record = slot(id - first);
    return record->unloaded.load(std::memory_order_acquire) ? nullptr : record;
}

void SoundTable::releaseUnloadedSounds() {
    std::unique_lock<std::shared_mutex> access(soundAccessLock);
    std::lock_guard<std::mutex> guard(soundTableLock);
    const uint32_t count = count_.load(std::memory_order_relaxed);
    for (uint32_t i = 0; i < count; ++i) {
        if (!slot(i)->unloaded.load(std::memory_order_acquire)) return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        delete slots_[i].exchange(nullptr, std::memory_order_relaxed);
    }
    firstSoundId_.store(firstSoundId_.load(std::memory_order_relaxed) + count, std::memory_order_relaxed);
    count_.store(0, std::memory_order_release);
    raiseVisitGeneration();  // the mixer's last list names freed slots
}

}  // namespace cl
