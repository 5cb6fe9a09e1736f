#pragma once
// The ground floor of the engine state: what every room reads. Each room
// above adds its own state on top (clock/timing_state.h, then
// sound/sound_state.h, mixer/mixer_state.h, engine/engine.h), and its
// functions take the layer of their room, so a function's parameter says
// which rooms it may touch.
#include <atomic>
#include <cstdint>

#include "core/log.h"
#include "core/output_format.h"
#include "core/provider.h"
#include "platform/thread.h"

namespace cl {

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

struct EngineCore {
    EngineCore(ProviderRegistry registry, DebugSink debugSink);
    EngineCore(const EngineCore&) = delete;
    EngineCore& operator=(const EngineCore&) = delete;

    ProviderOps& currentProvider() const;
    bool isMainThread() const;

    Logger log;
    ProviderRegistry providers;
    AudioState audio;
    OutputFormat output;

protected:
    ~EngineCore() = default;
};

// The main-thread rule: true when the caller is the thread that last called
// initaudio; otherwise logs "<operation> must be called from the main thread".
bool requireMainThread(EngineCore& engine, const char* operation);

}  // namespace cl
