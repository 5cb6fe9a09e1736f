// Playback, scheduling, pause and tick.
#include "api/global_engine.h"
#include "cantrelle.h"
#include "engine/tick.h"
#include "sound/playback.h"
#include "sound/scheduling.h"

using namespace cl;

extern "C" {

CL_API void play(uint32_t id) {
    guarded("Play", [&] { playFrom(engine(), id, 0.0); });
}
CL_API void playfrom(uint32_t id, double seconds) {
    guarded("PlayFrom", [&] { playFrom(engine(), id, seconds); });
}
CL_API void stop(uint32_t id) {
    guarded("Stop", [&] { stopSound(engine(), id); });
}
CL_API double getposition(uint32_t id) {
    return guarded("GetPosition", 0.0, [&] { return getPosition(engine(), id); });
}
CL_API void setposition(uint32_t id, double seconds) {
    guarded("SetPosition", [&] { setPosition(engine(), id, seconds); });
}
CL_API double getlength(uint32_t id) {
    return guarded("GetLength", 0.0, [&] { return getLength(engine(), id); });
}
CL_API int32_t isplaying(uint32_t id) {
    return guarded("IsPlaying", int32_t{0}, [&] { return isPlaying(engine(), id); });
}

CL_API void scheduleclock(uint32_t id, double startSeconds, double stopSeconds) {
    guarded("ScheduleClock", [&] { scheduleClock(engine(), id, startSeconds, stopSeconds); });
}
CL_API void unschedule(uint32_t id) {
    guarded("Unschedule", [&] { unscheduleSound(engine(), id); });
}
CL_API bool pauseaudio(void) {
    return guarded("PauseAudio", false, [] { return pauseAudio(engine()); });
}
CL_API void unpauseaudio(void) {
    guarded("UnpauseAudio", [] { unpauseAudio(engine()); });
}
CL_API void pausegameaudio(void) { pauseGameAudio(engine()); }
CL_API void unpausegameaudio(void) { unpauseGameAudio(engine()); }
CL_API void tick(void) {
    guarded("Tick", [] { cl::tick(engine()); });
}

}  // extern "C"
