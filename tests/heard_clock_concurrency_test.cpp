// The heard clock with a real audio thread publishing while another thread
// reads, run under ThreadSanitizer too (its suite name carries
// "Concurrency"). The writer generates records that keep one invariant (a
// run's clock frame is its stream frame plus 1000, whether it runs or
// holds) and a curve that must stay a rising chain; the reader checks both
// on every snapshot it copies, so a copy torn between two publications
// shows, checks that its reads never fall, and reads earlier counter values
// again: they must give what they gave (a press's time is read so). Now and
// then the writer renders nothing for a while, so the curve runs past the
// end of the mix and is held back there when rendering resumes.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "clock/heard_clock.h"

namespace cl::test {
namespace {

constexpr uint32_t kRate = 48000;
constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kTicksPerWake = kTicksPerSecond / 1000;
constexpr int64_t kOffset = 1000;

// What is wrong with a snapshot, or empty.
std::string brokenInvariant(const HeardSnapshot& seen) {
    for (std::size_t i = 0; i < seen.records.size(); ++i) {
        const StreamRecord& record = seen.records.record(i);
        if (record.clockFrame != record.streamFrame + kOffset) return "record " + std::to_string(i) + " mixed";
        if (i > 0) {
            const StreamRecord& before = seen.records.record(i - 1);
            if (before.streamFrame + before.frames != record.streamFrame) return "records not contiguous";
        }
    }
    for (std::size_t i = 0; i < seen.curve.size(); ++i) {
        const CurveSegment& segment = seen.curve.segment(i);
        if (!(segment.rate >= 0)) return "a falling segment";
        if (i == 0) continue;
        const CurveSegment& before = seen.curve.segment(i - 1);
        if (before.start >= segment.start) return "segments out of order";
        const double reached = before.frame + before.rate * static_cast<double>(segment.start - before.start);
        if (segment.frame < reached) return "the curve falls between segments";
    }
    return {};
}

TEST(HeardClockConcurrencyTest, ReadersSeeWholeSnapshotsAndNeverAFallingClock) {
    HeardClock heard;
    heard.open(kRate, kTicksPerSecond);
    // The counter, scripted: the writer moves it on a millisecond per wake;
    // the reader takes its value before each read, as a game thread would.
    std::atomic<int64_t> counter{0};
    std::atomic<bool> done{false};
    // Now and then the writer waits for the reader to go round its loop, so
    // that however the threads are scheduled the reader reads within a few
    // wakes of earlier reads (reads it can read again) at least that often.
    std::atomic<int> readerRounds{0};
    std::atomic<bool> readerStopped{false};
    const auto waitForReader = [&](int rounds) {
        const int from = readerRounds.load(std::memory_order_acquire);
        while (readerRounds.load(std::memory_order_acquire) - from < rounds &&
               !readerStopped.load(std::memory_order_acquire)) {
            std::this_thread::yield();
        }
    };

    std::thread audio([&] {
        int64_t written = 0;
        for (int wake = 0; wake < 20000; ++wake) {
            if (wake % 64 == 0) waitForReader(1);
            if (wake % 64 == 10) waitForReader(40);
            const int64_t now = counter.fetch_add(kTicksPerWake, std::memory_order_acq_rel) + kTicksPerWake;
            // Every 17th wake the clock holds for three wakes; the next run
            // starts where the stream has got to, so the clock never falls.
            const bool running = wake % 17 >= 3;
            // Every 60th wake begins 30 wakes without a render: the curve,
            // some 700 frames behind the end of the mix, passes it about
            // fifteen wakes in.
            const int parts = wake % 60 >= 30 ? 0 : 1 + wake % 3;
            heard.reportDevicePosition(written - 480, now);
            for (int part = 0; part < parts; ++part) {
                const uint32_t frames = 16 + static_cast<uint32_t>(wake % 5) * 8;
                heard.recordRender(written, written + kOffset, running, frames);
                written += frames;
            }
        }
        done.store(true, std::memory_order_release);
    });

    std::optional<double> last;
    int reads = 0;
    std::string broken;
    // Earlier reads, one for each counter value, read again in turn while
    // the snapshot still covers them: the records, a new entry at each
    // render while the clock holds, reach about sixty wakes back.
    struct Read {
        int64_t at = 0;
        double value = 0.0;
    };
    std::array<Read, 32> earlier{};
    std::size_t kept = 0, next = 0, again = 0;
    while (!done.load(std::memory_order_acquire) && broken.empty()) {
        const int64_t now = counter.load(std::memory_order_acquire);
        const std::optional<double> read = heard.clockSecondsAt(now);
        if (read) {
            if (last && *read < *last) broken = "read " + std::to_string(*read) + " after " + std::to_string(*last);
            last = read;
            if (kept == 0 || earlier[(kept - 1) % earlier.size()].at != now)
                earlier[kept++ % earlier.size()] = {now, *read};
            const Read& old = earlier[next++ % std::min(kept, earlier.size())];
            const std::optional<double> reread = heard.clockSecondsAt(old.at);
            // Judged only when the writer had not moved on too far by the end
            // of the read (this thread may have been held up anywhere).
            if (counter.load(std::memory_order_acquire) - old.at < 20 * kTicksPerWake) {
                if (!reread || *reread != old.value) {
                    broken = "read " + std::to_string(old.value) + " at " + std::to_string(old.at) + ", again " +
                             std::to_string(reread ? *reread : -1.0);
                }
                if (old.at != now) again++;
            }
        }
        if (broken.empty()) broken = brokenInvariant(heard.snapshot());
        reads++;
        readerRounds.fetch_add(1, std::memory_order_release);
    }
    readerStopped.store(true, std::memory_order_release);
    audio.join();
    EXPECT_EQ(broken, "");
    EXPECT_TRUE(last) << "the reader never saw a reading in " << reads << " reads";
    EXPECT_GT(again, 0u) << "no read was read again";
}

}  // namespace
}  // namespace cl::test
