#pragma once
// One loaded sound: its samples, its single voice, its pending requests and
// its scheduled starts.
//
// Threads: fields the game's threads and the audio thread both touch are
// atomics. Parameter floats, pointers and flags are single relaxed stores;
// a request's value is stored before its flag (release) and the mixer reads
// the flag first (acquire). Fields without atomics are written only while
// the record is not yet in the table or while no render can run.
#include <atomic>
#include <cstdint>

#include "sound/start_event.h"

namespace cl {

// An array, not a pointer to a literal: one address in every translation
// unit, so the destructor can tell it from an owned copy.
inline constexpr char kUnknownName[] = "<unknown>";

inline constexpr uint64_t kNoStop = UINT64_MAX;

// Values of playRequested: any non-zero value counts as a waiting request.
inline constexpr uint8_t kPlayRequested = 1;
inline constexpr uint8_t kPlayBeingTaken = 2;  // the mixer is starting the voice

// Aligned to a cache line, so the fields the mixer reads of every sound in
// every call share one line.
struct alignas(64) SoundRecord {
    SoundRecord();
    ~SoundRecord();  // frees name, samples and queues
    SoundRecord(const SoundRecord&) = delete;
    SoundRecord& operator=(const SoundRecord&) = delete;

    // What the mixer reads for every sound in every call comes first, on
    // one cache line: most sounds are idle, and this is all it reads of them.
    std::atomic<float*> playPos{nullptr};  // the voice's next frame; null while idle
    std::atomic<int64_t> activeHead{kNoEvent};
    std::atomic<int64_t> pendingHead{kNoEvent};
    uint32_t bus = 0;
    // Requests from the game to the audio thread (see mixer/audio_handoff.h).
    std::atomic<uint8_t> playRequested{0};
    std::atomic<uint8_t> stopRequested{0};
    std::atomic<uint8_t> unscheduleRequested{0};
    std::atomic<uint8_t> unloaded{0};
    std::atomic<uint8_t> loop{0};
    std::atomic<float*> playEnd{nullptr};  // where the voice stops
    // Frames a looping voice plays before its scheduled stop, however often
    // it wraps; kNoStop when it plays on. Audio thread only (and conversions,
    // which never run while the mixer renders).
    uint64_t framesUntilStop = kNoStop;

    const char* name = kUnknownName;  // owned unless kUnknownName

    // Samples the mixer plays: interleaved stereo at frameRate. Replaced only
    // by a conversion, which never runs while the mixer renders.
    std::atomic<float*> data{nullptr};
    std::atomic<uint32_t> sampleCount{0};  // floats, two per frame
    uint32_t frameRate = 0;
    std::atomic<float*> dataEnd{nullptr};

    // Samples as loaded (always stereo); every conversion starts from them.
    float* sourceData = nullptr;
    uint32_t sourceSampleCount = 0;
    uint32_t sourceFrameRate = 0;

    std::atomic<double> playFromSeconds{0.0};  // the play request's offset

    // Scheduled starts: two queues whose roles swap (see mixer/audio_handoff.h).
    StartEventQueue queues[2];
    StartEventQueue* activeQueue = &queues[0];
    StartEventQueue* pendingQueue = &queues[1];
    std::atomic<uint8_t> queueLock{0};

    // Voice parameters.
    std::atomic<float> gain{1.0f};
    std::atomic<float> volume{1.0f};
    std::atomic<float> fade{1.0f};
    std::atomic<float> pan{0.0f};
    // Raised after every store of gain, volume, fade or pan, so the gain
    // targets can be recomputed until they follow the latest of them.
    std::atomic<uint32_t> levelVersion{0};
    float speed = 1.0f;
    float semitones = 0.0f;
    float rateFactor = 1.0f;
    uint8_t runtimeSpeed = 0;

    // Channel gains: targets from the parameters; currents smoothed by the
    // mixer, their only writer.
    std::atomic<float> targetLeft{1.0f};
    std::atomic<float> currentLeft{1.0f};
    std::atomic<float> targetRight{1.0f};
    std::atomic<float> currentRight{1.0f};
};

}  // namespace cl
