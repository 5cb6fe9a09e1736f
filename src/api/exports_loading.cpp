// Loading and unloading.
#include "api/global_engine.h"
#include "cantrelle.h"
#include "sound/loading.h"

using namespace cl;

extern "C" {

CL_API int32_t loadfloat(const float* pData, uint32_t sampleTotal, uint32_t channels, uint32_t frequency, uint32_t bus,
                         float speed, float semitones, int32_t runtimeSpeed, const char* name) {
    return guarded("LoadFloat", int32_t{-1}, [&] {
        return loadFloat(engine(), pData, sampleTotal, channels, frequency, bus, speed, semitones, runtimeSpeed != 0,
                         name);
    });
}

CL_API int32_t loadbytes(const void*, uint32_t, uint32_t, float, float, int32_t, const char*) {
    return guarded("LoadBytes", int32_t{-1}, [] { return loadBytes(engine()); });
}

CL_API int32_t loadsegment(const void* pData, uint32_t, const char* filename, uint32_t bus, float speed,
                           float semitones, int32_t runtimeSpeed, uint32_t, float durationSeconds) {
    return guarded("LoadSegment", int32_t{-1}, [&] {
        return loadSegment(engine(), pData, filename, bus, speed, semitones, runtimeSpeed != 0, durationSeconds);
    });
}

CL_API int32_t decode(const void*, uint32_t, float*, uint32_t) {
    return guarded("Decode", int32_t{0}, [] { return cl::decode(engine()); });
}

CL_API void unload(uint32_t id) {
    guarded("Unload", [&] { unloadSound(engine(), id); });
}

}  // extern "C"
