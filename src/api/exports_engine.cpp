// Engine core: audio initialisation, build information and logging.
#include "api/global_engine.h"
#include "cantrelle.h"
#include "engine/audio_init.h"
#include "engine/output_info.h"

using namespace cl;

extern "C" {

CL_API bool initaudio(int32_t providerId, uint32_t frameRate, int32_t exclusive, float bufferMs, int32_t sleepPolling,
                      int32_t useMmcss, float* exclusiveDefaultMs, float* sharedDefaultMs, const char* deviceId,
                      bool strictBufferSize) {
    return guarded("InitAudio", false, [&] {
        ProviderInitArgs args;
        args.frameRate = frameRate;
        args.exclusive = exclusive != 0;
        args.bufferMs = bufferMs;
        args.sleepPolling = sleepPolling != 0;
        args.useMmcss = useMmcss != 0;
        args.exclusiveDefaultMs = exclusiveDefaultMs;
        args.sharedDefaultMs = sharedDefaultMs;
        args.deviceId = deviceId;
        args.strictBufferSize = strictBufferSize;
        return initAudio(engine(), providerId, args);
    });
}

CL_API void freeaudio(void) {
    guarded("FreeAudio", [] { freeAudio(engine()); });
}

CL_API void enumaudiodevices(DeviceCallback callback) {
    guarded("EnumAudioDevices", [&] { enumAudioDevices(engine(), callback); });
}

CL_API bool audioneedsreinit(void) {
    return guarded("AudioNeedsReinit", false, [] { return audioNeedsReinit(engine()); });
}

CL_API int32_t getversion(void) { return kVersion; }

CL_API intptr_t getbuildstring(BuildStringCallback callback) {
    return guarded("GetBuildString", intptr_t{0}, [&] { return getBuildString(engine(), callback); });
}

CL_API int32_t getfeatures(void) { return kFeatures; }

CL_API void setlogfunc(int32_t level, LogCallback callback) {
    guarded("SetLogFunc", [&] { engine().log.setCallback(level, callback); });
}

CL_API uint8_t getoutputinfo(CantrelleOutputInfo* info) {
    return guarded("GetOutputInfo", uint8_t{0}, [&] { return uint8_t{getOutputInfo(engine(), info)}; });
}

}  // extern "C"
