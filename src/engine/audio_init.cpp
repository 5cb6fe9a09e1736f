#include "engine/audio_init.h"

#include <cmath>

#include "engine/engine.h"

namespace cl {

bool initAudio(Engine& engine, int32_t providerId, const ProviderInitArgs& args) {
    AudioState& audio = engine.audio;
    if (audio.audioInitialised.load(std::memory_order_relaxed)) {
        engine.log.message(3, "[CL] [tid=%4x] Audio already initialised\n", tid());
        return false;
    }
    audio.mainThreadId.store(platform::currentThreadId(), std::memory_order_relaxed);
    if (providerId == 0) providerId = kWasapiProvider;
    ProviderOps* provider = engine.providers.find(providerId);
    if (provider == nullptr) {
        engine.log.message(3, "[CL] [tid=%4x] Requested audio provider is not available on this platform\n", tid());
        return false;
    }
    audio.currentProviderId.store(providerId, std::memory_order_relaxed);
    if (args.bufferMs < 0) {
        engine.log.message(3, "[CL] [tid=%4x] Requested buffer size must be positive (or 0 for default)\n", tid());
        return false;
    }
    audio.outputMayRender.store(1, std::memory_order_relaxed);
    if (!provider->Init(engine, args)) {
        audio.outputMayRender.store(0, std::memory_order_relaxed);  // a failed Init joined what it started
        engine.clock.heard.close();
        engine.log.message(3, "[CL] [tid=%4x] Failed to initialise audio\n", tid());
        if (const char* advice = provider->initFailureAdvice()) {
            engine.log.message(3, "[CL] [tid=%4x] %s\n", tid(), advice);
        }
        return false;
    }
    engine.buses.resetAll();
    audio.audioInitialised.store(1, std::memory_order_relaxed);
    return true;
}

void freeAudio(Engine& engine) {
    if (!requireMainThread(engine, "FreeAudio")) return;
    if (!engine.audio.audioInitialised.load(std::memory_order_relaxed)) {
        engine.log.message(3, "[CL] [tid=%4x] Audio not initialised\n", tid());
        return;
    }
    engine.currentProvider().Shutdown();  // joins the audio thread: nothing renders after this
    engine.clock.heard.close();           // the engine clock stands in for the heard one again
    engine.audio.audioInitialised.store(0, std::memory_order_relaxed);
    engine.audio.outputMayRender.store(0, std::memory_order_relaxed);
    engine.sounds.releaseUnloadedSounds();
}

void enumAudioDevices(Engine& engine, DeviceCallback callback) {
    if (callback == nullptr) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to enumerate audio devices (callback is null)\n", tid());
        return;
    }
    ProviderOps* provider = engine.providers.find(kWasapiProvider);
    if (provider == nullptr || !provider->EnumerateDevices(callback)) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to enumerate audio devices for provider: %d\n", tid(),
                           kWasapiProvider);
    }
}

bool audioNeedsReinit(Engine& engine) {
    if (!requireMainThread(engine, "AudioNeedsReinit")) return false;
    return engine.currentProvider().NeedsReinit();
}

intptr_t getBuildString(Engine& engine, BuildStringCallback callback) {
    if (callback == nullptr) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to get build string (callback is null)\n", tid());
        return 0;
    }
    return callback(kBuildString);
}

}  // namespace cl
