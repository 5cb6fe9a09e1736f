#pragma once
// Holds soundAccessLock exclusively, as a release of unloaded sounds does,
// for as long as the object lives. The hold is taken on a thread of its own:
// a shared try by a thread that already owns the mutex would be undefined.
#include <future>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "sound/sound_table.h"

namespace cl::test {

class SoundLockHolder {
public:
    explicit SoundLockHolder(SoundTable& table)
        : holder_([this, &table] {
              std::unique_lock<std::shared_mutex> lock(table.soundAccessLock);
              held_.set_value();
              release_.get_future().wait();
          }) {
        held_.get_future().wait();
    }
    ~SoundLockHolder() {
        release_.set_value();
        holder_.join();
    }
    SoundLockHolder(const SoundLockHolder&) = delete;
    SoundLockHolder& operator=(const SoundLockHolder&) = delete;

private:
    std::promise<void> held_;
    std::promise<void> release_;
    std::thread holder_;  // last: started once both promises exist
};

}  // namespace cl::test
