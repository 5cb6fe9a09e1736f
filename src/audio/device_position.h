#pragma once
// The device's own account of what it plays: at each wake the audio thread
// asks the device's clock where it is in the stream and publishes the answer
// here, the newest report only. Any thread reads it without waiting.
//
// Where the two threads meet: the audio thread alone publishes (reset runs
// with no audio thread). It writes a report into the slot readers are not
// sent to, under that slot's sequence (odd while it writes), and then
// points readers at it. A reader copies the slot it is pointed at and keeps
// the copy only if the slot's sequence was even and unchanged around it and
// the slot still holds the report it was pointed at. A writer stalled in the
// middle of a report holds up no reader: that report is in the other slot.
#include <atomic>
#include <cstdint>

namespace cl {

struct DevicePosition {
    uint64_t reports = 0;        // published since the output opened, this one included; 0: none yet
    uint64_t frame = 0;          // stream frames the device has played, at the output rate
    uint64_t qpcTime = 0;        // the performance counter when it held, in 100-ns units
    uint64_t framesWritten = 0;  // stream frames the engine had released to the device by then
};

class LatestDevicePosition {
public:
    // Audio thread only: no lock, no allocation.
    void publish(uint64_t frame, uint64_t qpcTime, uint64_t framesWritten) {
        const uint64_t reports = reports_.load(std::memory_order_relaxed) + 1;
        Slot& slot = slots_[reports & 1];
        const uint64_t sequence = slot.sequence.load(std::memory_order_relaxed);
        // Each field is stored with release, so a reader that sees it sees the
        // odd sequence before it (no fences: ThreadSanitizer cannot follow them).
        slot.sequence.store(sequence + 1, std::memory_order_relaxed);
        slot.report.store(reports, std::memory_order_release);
        slot.frame.store(frame, std::memory_order_release);
        slot.qpcTime.store(qpcTime, std::memory_order_release);
        slot.framesWritten.store(framesWritten, std::memory_order_release);
        slot.sequence.store(sequence + 2, std::memory_order_release);
        reports_.store(reports, std::memory_order_release);
    }

    // Any thread. Retries only when the writer lapped the slot it was sent
    // to, which takes two reports (two wakes) between two loads.
    DevicePosition read() const {
        for (;;) {
            const uint64_t newest = reports_.load(std::memory_order_acquire);
            if (newest == 0) return DevicePosition{};
            const Slot& slot = slots_[newest & 1];
            const uint64_t before = slot.sequence.load(std::memory_order_acquire);
            DevicePosition position;
            // Acquire: the second look at the sequence stays after the fields.
            position.reports = slot.report.load(std::memory_order_acquire);
            position.frame = slot.frame.load(std::memory_order_acquire);
            position.qpcTime = slot.qpcTime.load(std::memory_order_acquire);
            position.framesWritten = slot.framesWritten.load(std::memory_order_acquire);
            // A lapped slot holds a report newer than the one published: taken,
            // it would let the next read go back to the one in between.
            if ((before & 1) == 0 && slot.sequence.load(std::memory_order_relaxed) == before &&
                position.reports == newest) {
                return position;
            }
        }
    }

    // No audio thread may run: an output opening starts without reports.
    void reset() { reports_.store(0, std::memory_order_relaxed); }

private:
    struct Slot {
        std::atomic<uint64_t> sequence{0};
        std::atomic<uint64_t> report{0};
        std::atomic<uint64_t> frame{0};
        std::atomic<uint64_t> qpcTime{0};
        std::atomic<uint64_t> framesWritten{0};
    };
    std::atomic<uint64_t> reports_{0};
    Slot slots_[2];
};

}  // namespace cl
