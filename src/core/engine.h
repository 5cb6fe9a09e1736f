#pragma once
// The engine state the exports share. A library holds exactly one (see
// api/global_engine); tests construct their own.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <shared_mutex>

#include "clock/clock.h"
#include "core/log.h"
#include "core/provider.h"
#include "mixer/bus_volumes.h"
#include "mixer/limiter.h"
#include "mixer/output_format.h"
#include "mixer/render.h"
#include "platform/thread.h"
#include "sound/sample_memory.h"
#include "sound/sound_table.h"

namespace cl {

inline constexpr int32_t kVersion = 35;
inline constexpr const char* kBuildString = "Cantrelle Engine 0.35 (19d5a091) compiled for Windows x86_64";
inline constexpr int32_t kFeatures = 0;

// Written only by initaudio and freeaudio; read by other threads, hence
// relaxed atomics rather than plain values.
struct AudioState {
    std::atomic<uint8_t> audioInitialised{0};
    // Set from the start of initaudio's provider Init (which may start the
    // audio thread, and logs after it has) until the thread is joined. Read
    // on the main thread, which a log receiver inside initaudio runs on too.
    std::atomic<uint8_t> outputMayRender{0};
    std::atomic<uint32_t> mainThreadId{0};  // 0: no main thread yet
    std::atomic<int32_t> currentProviderId{kWasapiProvider};
};

// The pause handshake. Its atomics are sequentially consistent: the main
// thread stores a flag and then reads renderActive, the audio thread stores
// renderActive and then reads the flag; either order of the two stores
// lets one side see the other.
struct PauseState {
    std::atomic<uint8_t> audioPaused{0};
    std::atomic<uint8_t> gameAudioPaused{0};
    std::atomic<uint8_t> renderActive{0};
};

// Implemented by the input core: tick hands it the input half of its work.
class InputTicker {
public:
    virtual ~InputTicker() = default;
    virtual void tickInputProviders() = 0;
};

struct Engine {
    explicit Engine(ProviderRegistry registry = defaultProviderRegistry(), DebugSink debugSink = platform::debugOutput,
                    uint32_t firstSoundId = 0);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    ProviderOps& currentProvider() const;
    bool isMainThread() const;

    Logger log;
    ProviderRegistry providers;
    AudioState audio;
    OutputFormat output;
    BusVolumes buses;
    SoundTable sounds;
    Limiter limiter;
    Clock clock;
    PauseState pause;

    // Orders loads against output-rate changes: a load prepares its samples
    // and enters the table under it shared, setOutputFormat holds it
    // exclusively, so no sound ends up converted for a rate that is gone.
    // Never taken by the audio thread.
    std::shared_mutex formatLock;

    SampleAllocator allocateSamples = cl::allocateSamples;

    // The audio thread's own state across render calls: the sounds it
    // visited last and what it knew when it listed them, and the block
    // buffers of the four buses.
    struct MixerMemory {
        std::array<uint16_t, SoundTable::MAX_SOUNDS> visits{};
        uint32_t visitCount = 0;
        bool listed = false;              // visits holds the result of a full scan...
        uint64_t listedGeneration = 0;    // ...made at this visit generation...
        bool clockRanWhenListed = false;  // ...with the clock running or not
        alignas(32) float buses[4][kMaxRenderFrames * 2];
    } mixer{};

    // How long pauseaudio and stopclock wait for a render in progress.
    std::chrono::milliseconds renderYieldTimeout{10000};

    // Set by the input core while input is up; tick calls it on any thread.
    std::atomic<InputTicker*> inputTicker{nullptr};
};

// The main-thread rule: true when the caller is the thread that last called
// initaudio; otherwise logs "<operation> must be called from the main thread".
bool requireMainThread(Engine& engine, const char* operation);

}  // namespace cl
