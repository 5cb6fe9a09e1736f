// Voice parameters, bus volumes, limiter and clock.
#include "api/global_engine.h"
#include "cantrelle.h"
#include "clock/clock.h"
#include "mixer/limiter_controls.h"
#include "mixer/voice_params.h"

using namespace cl;

namespace {
void setParam(const char* name, uint32_t id, VoiceParam param, float value) {
    guarded(name, [&] { setVoiceParam(engine(), id, param, value); });
}
float getParam(const char* name, uint32_t id, VoiceParam param) {
    return guarded(name, 0.0f, [&] { return getVoiceParam(engine(), id, param); });
}
}  // namespace

extern "C" {

CL_API void setgain(uint32_t id, float decibels) { setParam("SetGain", id, VoiceParam::Gain, decibels); }
CL_API float getgain(uint32_t id) { return getParam("GetGain", id, VoiceParam::Gain); }
CL_API void setvolume(uint32_t id, float volume) { setParam("SetVolume", id, VoiceParam::Volume, volume); }
CL_API float getvolume(uint32_t id) { return getParam("GetVolume", id, VoiceParam::Volume); }
CL_API void setfade(uint32_t id, float fade) { setParam("SetFade", id, VoiceParam::Fade, fade); }
CL_API float getfade(uint32_t id) { return getParam("GetFade", id, VoiceParam::Fade); }
CL_API void setpan(uint32_t id, float pan) { setParam("SetPan", id, VoiceParam::Pan, pan); }
CL_API float getpan(uint32_t id) { return getParam("GetPan", id, VoiceParam::Pan); }
CL_API void setspeed(uint32_t id, float speed) {
    guarded("SetSpeed", [&] { setSpeedOrPitch(engine(), id, VoiceParam::Speed, speed); });
}
CL_API float getspeed(uint32_t id) { return getParam("GetSpeed", id, VoiceParam::Speed); }
CL_API void setsemitones(uint32_t id, float semitones) {
    guarded("SetSemitones", [&] { setSpeedOrPitch(engine(), id, VoiceParam::Semitones, semitones); });
}
CL_API float getsemitones(uint32_t id) { return getParam("GetSemitones", id, VoiceParam::Semitones); }
CL_API void setloop(uint32_t id, int32_t loop) {
    guarded("SetLoop", [&] { setLoop(engine(), id, loop != 0); });
}
CL_API bool getloop(uint32_t id) {
    return guarded("GetLoop", false, [&] { return getLoop(engine(), id); });
}

CL_API void setglobalvolume(float volume) {
    guarded("SetGlobalVolume", [&] { setBusVolume(engine(), Bus::Global, volume); });
}
CL_API float getglobalvolume(void) { return getBusVolume(engine(), Bus::Global); }
CL_API void setmusicvolume(float volume) {
    guarded("SetMusicVolume", [&] { setBusVolume(engine(), Bus::Music, volume); });
}
CL_API float getmusicvolume(void) { return getBusVolume(engine(), Bus::Music); }
CL_API void setsfxvolume(float volume) {
    guarded("SetSfxVolume", [&] { setBusVolume(engine(), Bus::Sfx, volume); });
}
CL_API float getsfxvolume(void) { return getBusVolume(engine(), Bus::Sfx); }
CL_API void setmenuvolume(float volume) {
    guarded("SetMenuVolume", [&] { setBusVolume(engine(), Bus::Menu, volume); });
}
CL_API float getmenuvolume(void) { return getBusVolume(engine(), Bus::Menu); }

CL_API void setlimiterthreshold(float decibels) {
    guarded("SetLimiterThreshold", [&] { setLimiterThreshold(engine(), decibels); });
}
CL_API float getlimiterthreshold(void) { return engine().limiter.limiterThresholdDb.load(std::memory_order_relaxed); }
CL_API void setlimiterrelease(float milliseconds) {
    guarded("SetLimiterRelease", [&] { setLimiterRelease(engine(), milliseconds); });
}
CL_API float getlimiterrelease(void) { return engine().limiter.limiterReleaseMs.load(std::memory_order_relaxed); }
CL_API float getlimiterscale(void) { return takeLimiterScale(engine()); }
CL_API float getmaxsample(void) { return takeMaxSample(engine()); }

CL_API void startclock(void) {
    guarded("StartClock", [] { startClockFrom(engine(), 0.0); });
}
CL_API void startclockfrom(double seconds) {
    guarded("StartClock", [&] { startClockFrom(engine(), seconds); });
}
CL_API void stopclock(void) {
    guarded("StopClock", [] { stopClock(engine()); });
}
CL_API double getclock(void) {
    return guarded("GetClock", 0.0, [] { return getClock(engine()); });
}
CL_API bool clockrunning(void) { return clockRunning(engine()); }

}  // extern "C"
