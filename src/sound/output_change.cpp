#include "sound/output_change.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "core/float_convert.h"
#include "sound/sound_preparation.h"

namespace cl {
namespace {

// Moves every clock position (the clock, the time it stopped at, every
// scheduled start) to the same time in seconds at the new rate.
void rescaleClockPositions(SoundState& engine, uint32_t oldRate, uint32_t newRate) {
    const double ratio = static_cast<double>(newRate) / static_cast<double>(oldRate);
    auto rescale = [ratio](int64_t frame) { return saturatingTruncate<int64_t>(static_cast<double>(frame) * ratio); };

    Clock& clock = engine.clock;
    {
        std::lock_guard<std::mutex> guard(clock.clockMutex);
        clock.clockStoppedAt.store(rescale(clock.clockStoppedAt.load(std::memory_order_relaxed)),
                                   std::memory_order_relaxed);
    }
    int64_t frame = clock.clockFrame.load(std::memory_order_acquire);
    while (frame != kClockStopped) {
        int64_t moved = rescale(frame);
        // Still running, and never at the end marker the render cannot pass.
        if (moved == kClockStopped) moved = kClockStopped + 1;
        if (moved == INT64_MAX) moved = INT64_MAX - 1;
        if (clock.clockFrame.compare_exchange_weak(frame, moved, std::memory_order_acq_rel)) break;
    }

    // A start never lands on the empty-queue marker.
    auto rescaleStart = [&](int64_t frame) { return std::min(rescale(frame), kNoEvent - 1); };
    auto rescaleHead = [&](int64_t head) { return head == kNoEvent ? kNoEvent : rescaleStart(head); };
    const uint32_t count = engine.sounds.soundCount();
    for (uint32_t i = 0; i < count; ++i) {
        SoundRecord& record = *engine.sounds.slot(i);
        for (StartEventQueue& queue : record.queues) queue.rescaleStartFrames(rescaleStart);
        record.activeHead.store(rescaleHead(record.activeHead.load(std::memory_order_relaxed)),
                                std::memory_order_relaxed);
        record.pendingHead.store(rescaleHead(record.pendingHead.load(std::memory_order_relaxed)),
                                 std::memory_order_relaxed);
    }
}

}  // namespace

bool setOutputFormat(SoundState& engine, SampleFormat format, uint32_t frameRate, uint32_t channels) {
    const int32_t formatValue = static_cast<int32_t>(format);
    if (formatValue < 1 || formatValue > 6) {
        engine.log.message(3, "[CL] [tid=%4x] Unhandled mix format: %d\n", tid(), formatValue);
        return false;
    }
    if (frameRate == 0) {
        engine.log.message(3, "[CL] [tid=%4x] Frame rate must be non-zero (got %d)\n", tid(), 0);
        return false;
    }
    if (channels == 0) {
        engine.log.message(3, "[CL] [tid=%4x] Output requires at least 1 channel (got %d)\n", tid(), 0);
        return false;
    }

    // Logged once the lock is released, so a log receiver may load sounds.
    // Names stay valid: records are freed only on this thread.
    struct ConversionFailure {
        int id;
        const char* name;
        std::string reason;
        const char* advice;  // for the game, when it can mend the cause
    };
    std::vector<ConversionFailure> failures;
    {
        std::unique_lock<std::shared_mutex> noLoadsMeanwhile(engine.formatLock);
        OutputFormat& output = engine.output;
        output.outputFormat.store(format, std::memory_order_relaxed);
        const uint32_t oldRate = output.frameRate();
        if (oldRate != frameRate) rescaleClockPositions(engine, oldRate, frameRate);

        const uint32_t count = engine.sounds.soundCount();
        for (uint32_t i = 0; i < count; ++i) {
            SoundRecord& record = *engine.sounds.slot(i);
            const int id = static_cast<int>(engine.sounds.firstSoundId() + i);
            try {
                convertSound(engine, record, frameRate);
            } catch (const ProviderFailure& error) {
                failures.push_back({id, record.name, error.what(), error.advice()});
            } catch (const std::exception& error) {
                failures.push_back({id, record.name, error.what(), nullptr});
            } catch (...) {
                failures.push_back({id, record.name, "unknown error", nullptr});
            }
        }
        output.outputFrameRate.store(frameRate, std::memory_order_relaxed);
        output.outputChannels.store(channels, std::memory_order_relaxed);
        output.rampStep.store(48000.0f / static_cast<float>(frameRate) * kRampStepAt48k, std::memory_order_relaxed);
    }
    for (const ConversionFailure& failure : failures) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to convert sound %d [%s] for the output rate (%s)\n", tid(),
                           failure.id, failure.name, failure.reason.c_str());
    }
    // Each piece of advice once, after all the failures it explains.
    std::vector<const char*> advised;
    for (const ConversionFailure& failure : failures) {
        if (failure.advice == nullptr || std::find(advised.begin(), advised.end(), failure.advice) != advised.end()) {
            continue;
        }
        advised.push_back(failure.advice);
        engine.log.message(3, "[CL] [tid=%4x] %s\n", tid(), failure.advice);
    }
    return true;
}

}  // namespace cl
