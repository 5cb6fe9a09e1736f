/*
 * Cantrelle: low-latency audio and input engine for games.
 *
 * Flat C interface of Cantrelle.dll (libcantrelle.so for native builds).
 * Compiles as C99 and as C++.
 *
 * Conventions:
 *  - No call raises an error. A refused call logs one line (see setlogfunc)
 *    and returns a neutral value: -1 for a failed load, 0, false or 0.0 for
 *    a query, nothing for a command.
 *  - "Main thread" is the thread that last called initaudio. Calls marked
 *    [main] refuse any other thread (and all threads before initaudio).
 *    Calls marked [any] may come from any thread.
 *  - Times are seconds (double). Sound ids are uint32_t handed out from 0
 *    upwards and never reused; loads return them as int32_t, -1 on failure.
 *  - bool is one byte on every supported ABI.
 */
#ifndef CANTRELLE_H
#define CANTRELLE_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#    if defined(CANTRELLE_BUILDING)
#        define CL_API __declspec(dllexport)
#    else
#        define CL_API __declspec(dllimport)
#    endif
#else
#    if defined(CANTRELLE_BUILDING)
#        define CL_API __attribute__((visibility("default")))
#    else
#        define CL_API
#    endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Receives one log entry per call. An entry is usually one line,
 * "[CL] [tid=...] ...\n", but not always:
 *  - a format block is one entry of twelve lines: its title ("Selected
 *    format:" whenever initaudio opens WASAPI; "Mix format:" or "Device
 *    format:" when the device's format does not fit), ten " - Name: value"
 *    lines and an empty line, so it ends in "\n\n";
 *  - text the game passed in, such as a sound name, arrives as it is,
 *    newlines included;
 *  - an entry longer than 1024 bytes is cut there, without its final
 *    newline, and followed by the entry "Debug output was truncated by N
 *    bytes" (level 4).
 * Write the text as it comes, or split it at '\n' for single lines. It is
 * valid only during the call. The receiver may be called on any thread, also
 * concurrently, and runs on the thread that logged. It may call back into the
 * library: lines are logged with no lock of the library held, with one
 * exception: a line logged while an output rate conversion runs (by loadfloat
 * or initaudio) holds the lock that orders loads against output changes, so a
 * receiver must not call loadfloat or initaudio itself. Keep it short: a
 * receiver that blocks delays the call that logged. */
typedef void (*LogCallback)(const char* line);

/* Receives the build string, which stays valid for the life of the library.
 * Declared as returning intptr_t so a callback may hand back a pointer-sized
 * value, which getbuildstring returns unchanged. A callback that returns
 * nothing works too (on x86-64 the result register is simply not set); the
 * value getbuildstring returns is then meaningless. */
typedef intptr_t (*BuildStringCallback)(const char* buildString);

/* One call per audio device: provider number (always 2), endpoint id and
 * friendly name, both UTF-8 and valid only during the call. */
typedef void (*DeviceCallback)(int32_t provider, const char* deviceId, const char* name);

/* A press or release: source 0x7FFFFFFF is keyboard or mouse, 0 to 3 a
 * controller slot; code is a Windows virtual-key code. */
typedef void (*InputCallback)(uint32_t source, uint32_t code);

/* ---- Audio initialisation and information ---------------------------- */

/* Opens audio output through provider providerId (0 = default 2, 1 = null,
 * 2 = WASAPI). Records the calling thread as the main thread. Returns 1 when
 * audio runs. [any; becomes the main thread] */
CL_API bool initaudio(int32_t providerId, uint32_t frameRate, int32_t exclusive, float bufferMs, int32_t sleepPolling,
                      int32_t useMmcss, float* exclusiveDefaultMs, float* sharedDefaultMs, const char* deviceId,
                      bool strictBufferSize);
/* Closes audio output; loaded sounds stay loaded. [main] */
CL_API void freeaudio(void);
/* Lists the WASAPI provider's render devices through callback. [any] */
CL_API void enumaudiodevices(DeviceCallback callback);
/* True when output must be closed and opened again (device lost). [main] */
CL_API bool audioneedsreinit(void);
/* Returns 35. [any] */
CL_API int32_t getversion(void);
/* Calls callback once with the build string; returns its result. [any] */
CL_API intptr_t getbuildstring(BuildStringCallback callback);
/* Returns the feature word, 0 in this build. [any] */
CL_API int32_t getfeatures(void);

/* ---- Logging ---------------------------------------------------------- */

/* Sets the receiver of levels >= level (0 to 5) up to the next level with its
 * own receiver; null clears it. Without any receiver lines go to the
 * debugger output. [any] */
CL_API void setlogfunc(int32_t level, LogCallback callback);

/* ---- Loading ---------------------------------------------------------- */

/* Loads sampleTotal interleaved floats of 1 or 2 channels at frequency Hz
 * into bus 0 to 3 (1 music, 2 sfx, 3 menu). The data is copied. Returns the
 * sound id or -1. [any]
 * Speed and pitch are baked in at load: the rate factor
 * speed * 2^(semitones/12) must lie in [1/1024, 1024] (speed 0.5 plays half
 * as fast and makes the sound twice as long; +12 semitones is factor 2).
 * The sound is converted to the output rate divided by the factor. A load
 * that would give more than 2147483646 frames there, or none from a sound
 * that has some, is refused with a line before anything is copied or
 * converted; so is one the converter leaves empty (a sound of a few frames).
 * On Windows that conversion uses Media Foundation: the calling thread needs
 * COM (CoInitializeEx) and the process MFStartup. */
CL_API int32_t loadfloat(const float* pData, uint32_t sampleTotal, uint32_t channels, uint32_t frequency, uint32_t bus,
                         float speed, float semitones, int32_t runtimeSpeed, const char* name);
/* Encoded data is not supported in this build: logs and returns -1. [any] */
CL_API int32_t loadbytes(const void* pData, uint32_t byteCount, uint32_t bus, float speed, float semitones,
                         int32_t runtimeSpeed, const char* name);
/* Validates its arguments (speed and semitones as loadfloat's, the rate
 * factor's range included), then refuses (no decoder in this build): -1.
 * [any] */
CL_API int32_t loadsegment(const void* pData, uint32_t unusedSize, const char* filename, uint32_t bus, float speed,
                           float semitones, int32_t runtimeSpeed, uint32_t unusedOffset, float durationSeconds);
/* Not supported in this build: logs and returns 0. [any] */
CL_API int32_t decode(const void* pData, uint32_t byteCount, float* pOut, uint32_t outCount);
/* Stops and removes a sound; memory is freed once every sound is unloaded
 * and no render can run. [any] */
CL_API void unload(uint32_t id);

/* ---- Playback --------------------------------------------------------- */

/* Starts (or restarts) a sound at its beginning at the next buffer. [any] */
CL_API void play(uint32_t id);
/* Starts (or restarts) a sound at an offset in seconds. [any] */
CL_API void playfrom(uint32_t id, double seconds);
/* Stops a sound at the next buffer; scheduled starts stay. [any] */
CL_API void stop(uint32_t id);
/* Position of the playing voice in seconds (0 when idle). [any] */
CL_API double getposition(uint32_t id);
/* Sets the offset the sound's next start uses; refused while it plays or is
 * scheduled with the clock running, unless audio is paused. [main] */
CL_API void setposition(uint32_t id, double seconds);
/* Length of the sound in seconds at the output rate. [any] */
CL_API double getlength(uint32_t id);
/* 1 while the sound plays or a play request waits, else 0. [any] */
CL_API int32_t isplaying(uint32_t id);

/* ---- Per-sound parameters and bus volumes (setters ramp in 16.7 ms) ---- */

/* Gain in dB, unbounded. [any] */
CL_API void setgain(uint32_t id, float decibels);
CL_API float getgain(uint32_t id);
/* Volume 0 to 1 (clamped). [any] */
CL_API void setvolume(uint32_t id, float volume);
CL_API float getvolume(uint32_t id);
/* Fade 0 to 1 (clamped). [any] */
CL_API void setfade(uint32_t id, float fade);
CL_API float getfade(uint32_t id);
/* Balance -1 (left) to +1 (right) (clamped). [any] */
CL_API void setpan(uint32_t id, float pan);
CL_API float getpan(uint32_t id);
/* Runtime speed changes are refused in this build. [main] */
CL_API void setspeed(uint32_t id, float speed);
/* Speed given at load. [any] */
CL_API float getspeed(uint32_t id);
/* Runtime pitch changes are refused in this build. [main] */
CL_API void setsemitones(uint32_t id, float semitones);
/* Semitones given at load. [any] */
CL_API float getsemitones(uint32_t id);
/* Loop on (non-zero) or off. [any] */
CL_API void setloop(uint32_t id, int32_t loop);
CL_API bool getloop(uint32_t id);
/* Bus volumes 0 to 1 (clamped); getters return the target. [any] */
CL_API void setglobalvolume(float volume);
CL_API float getglobalvolume(void);
CL_API void setmusicvolume(float volume);
CL_API float getmusicvolume(void);
CL_API void setsfxvolume(float volume);
CL_API float getsfxvolume(void);
CL_API void setmenuvolume(float volume);
CL_API float getmenuvolume(void);

/* ---- Limiter and meters ----------------------------------------------- */

/* Threshold in dB (values above 0 become 0). [any] */
CL_API void setlimiterthreshold(float decibels);
CL_API float getlimiterthreshold(void);
/* Release time in ms; 0 (the default) disables the limiter. [any] */
CL_API void setlimiterrelease(float milliseconds);
CL_API float getlimiterrelease(void);
/* Lowest limiter gain since the last call; resets to 1. [any] */
CL_API float getlimiterscale(void);
/* Largest absolute output sample since the last call; resets to 0. [any] */
CL_API float getmaxsample(void);

/* ---- Clock ------------------------------------------------------------ */

/* Starts the clock at 0 / at seconds; counts rendered output frames.
 * [main while audio is open, else any] */
CL_API void startclock(void);
CL_API void startclockfrom(double seconds);
/* Stops the clock and waits until no render that saw it running is in
 * progress. [main while audio is open, else any] */
CL_API void stopclock(void);
/* Clock time in seconds; a stopped clock reads as the time it stopped. [any] */
CL_API double getclock(void);
CL_API bool clockrunning(void);

/* ---- Scheduling, pause and tick --------------------------------------- */

/* Starts the sound when the clock reaches startSeconds, exact to the frame,
 * and stops it at stopSeconds (INFINITY for no stop). [main] */
CL_API void scheduleclock(uint32_t id, double startSeconds, double stopSeconds);
/* Removes the sound's scheduled starts that have not fired. [main] */
CL_API void unschedule(uint32_t id);
/* Silences all audio and stops the clock; returns once no render runs. [main] */
CL_API bool pauseaudio(void);
CL_API void unpauseaudio(void);
/* Pauses buses 0 to 2 and the clock; bus 3 (menu) keeps playing. [any] */
CL_API void pausegameaudio(void);
CL_API void unpausegameaudio(void);
/* Call once per game frame: audio housekeeping [main] and input polling. */
CL_API void tick(void);

/* ---- Input ------------------------------------------------------------ */

/* Starts gathering keyboard, mouse and controller input; callbacks may be
 * null. Returns true when input is up. While input is up the library keeps
 * itself loaded, as it does while audio output is open: a FreeLibrary then
 * leaves it, its threads and its hooks running. Load it again and call
 * freeinput to stop them; the library goes with the last reference.
 * [any; refused inside an input callback] */
CL_API bool initinput(int32_t focused, InputCallback onPress, InputCallback onRelease, int32_t alternativeControllers,
                      int32_t disableSafeInput, void* unused1, void* unused2, int32_t alternativeInput);
CL_API void freeinput(void);
/* Brackets the game's own input handling in safe input mode: no callback
 * runs between the two. unlockinput returns once the queued events have been
 * delivered (on the engine's dispatcher thread, while the caller waits).
 * [any thread; refused inside an input callback] */
CL_API void lockinput(void);
CL_API void unlockinput(void);
/* Tells the engine whether the game window has focus. [any] */
CL_API void onfocus(int32_t focused);
/* Mouse buttons are reported only while accepted. [any] */
CL_API void setacceptmouseinput(int32_t accept);

/* ---- One timeline for sound and input --------------------------------- */
/* These calls extend the interface above; they change nothing it does. */

/* The clock time, in seconds, of the frame the output device is playing at
 * the moment of the call: what the player hears now. getclock() counts what
 * has been mixed, which the device plays a buffer later. Between the
 * device's position reports it follows the high-resolution timer, so reads
 * advance smoothly and never run backwards while the clock runs forward; a
 * stop, a pause or a startclockfrom is heard once the device plays the
 * frames mixed after it. Without a device (audio not open, the null
 * output) it is getclock(); until the device first reports its position,
 * it holds at the first frame mixed, since nothing has been heard yet.
 * After a device is lost it stops where the device stopped. [any] */
CL_API double getheardclock(void);

/* Inside a press or release callback (either delivery mode): when the input
 * thread saw the event, in seconds on the engine clock, as the player heard
 * it (the clock time of the frame the device was playing then, as
 * getheardclock() gives it; without a device, getclock() at the call).
 * Outside a callback: NaN. [any] */
CL_API double getinputtime(void);

/* What the open output is. Frames are output frames (frameRate a second).
 * The struct may grow at its end in later versions: set size to
 * sizeof(CantrelleOutputInfo) before calling getoutputinfo, which fills the
 * fields that lie wholly within size bytes, leaves the rest alone and sets
 * size to the bytes it filled. */
typedef struct CantrelleOutputInfo {
    uint32_t size;               /* in: bytes the caller provides; out: bytes filled */
    uint32_t provider;           /* 1 null output, 2 WASAPI */
    uint32_t sampleFormat;       /* 1 8-bit, 2 16-bit, 3 24-bit in 32, 4 packed 24-bit, 5 32-bit, 6 float */
    uint32_t frameRate;          /* frames per second */
    uint32_t channels;           /* per frame; the mix fills the first two */
    uint32_t exclusive;          /* 1 exclusive mode, 0 shared */
    uint32_t devicePeriodFrames; /* how often the device takes data */
    uint32_t bufferFrames;       /* the device buffer */
    uint32_t fillTargetFrames;   /* how full the engine keeps the device buffer */
    uint32_t latencyFrames;      /* from a frame being mixed to the device playing it: the fill
                                  * target plus the stream latency the device reports */
    uint64_t underruns;          /* times the device had run dry while playing, since initaudio */
} CantrelleOutputInfo;

/* Fills *info with what the open output is (see CantrelleOutputInfo). The
 * null output reports its format and 0 for every device figure. Returns 1,
 * or 0 with a log line when info is null, info->size is smaller than the
 * size field or no output is open. [main] */
CL_API uint8_t getoutputinfo(CantrelleOutputInfo* info);

#ifdef __cplusplus
}
#endif

#endif /* CANTRELLE_H */
