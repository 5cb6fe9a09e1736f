/* Latency calibration, as a rhythm game offers it to its players.
 *
 * It plays a click on every beat, each scheduled on the engine clock to its
 * exact output frame, and the player taps along: any key or controller
 * button (mouse buttons count over the game's own window, which this
 * console program has none of). Each tap is timed by getinputtime(), on the
 * clock as the player heard it, and judged against the nearest beat. At the
 * end it prints the taps' mean offset, its spread and the offset a game
 * would apply to every press from then on.
 *
 *   calibrate [--tempo BPM] [--beats N] [--device ID] [--safe-input on|off]
 *
 * Lines on standard output, for people and for scripts: "device ...",
 * "clicks ...", "tap along ..." once the clock runs and input is up,
 * "tap ..." for every tap judged, "ignored ..." for a tap no beat is near,
 * "done at ...", then the summary, "taps N: mean ..." and "suggested offset
 * ...". The engine's own log goes to standard error.
 */
#ifndef _WIN32
#    define _POSIX_C_SOURCE 200809L /* nanosleep, also under strict C */
#endif
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#    include <mfapi.h>
#    include <objbase.h>
#    include <windows.h>
/* The engine leaves COM and Media Foundation to the game: its output needs
 * COM on the thread that opens it, its resampler Media Foundation. */
static void startPlatform(void) {
    CoInitializeEx(NULL, COINIT_MULTITHREADED);
    MFStartup(MF_VERSION, MFSTARTUP_LITE);
}
static void stopPlatform(void) {
    MFShutdown();
    CoUninitialize();
}
static void sleepMs(unsigned ms) { Sleep(ms); }
static SRWLOCK tapLock = SRWLOCK_INIT;
static void lockTaps(void) { AcquireSRWLockExclusive(&tapLock); }
static void unlockTaps(void) { ReleaseSRWLockExclusive(&tapLock); }
#else
#    include <pthread.h>
#    include <time.h>
static void startPlatform(void) {}
static void stopPlatform(void) {}
static void sleepMs(unsigned ms) {
    struct timespec pause = {ms / 1000, (long)(ms % 1000) * 1000000L};
    nanosleep(&pause, NULL);
}
static pthread_mutex_t tapLock = PTHREAD_MUTEX_INITIALIZER;
static void lockTaps(void) { pthread_mutex_lock(&tapLock); }
static void unlockTaps(void) { pthread_mutex_unlock(&tapLock); }
#endif

#include "cantrelle.h"

enum { kMusicBus = 1, kMaxBeats = 256, kMaxTaps = 1024 };
static const double kFirstBeat = 0.5; /* seconds of clock before the first beat */

typedef struct {
    double tempo; /* beats per minute */
    int beats;
    const char* device; /* endpoint id, or NULL for the default device */
    bool safeInput;     /* false: callbacks at once, on the input threads */
} Options;

/* The beat grid, written before input starts and only read after. */
static double beatSeconds;
static int beatCount;

/* The taps judged so far. With safe input off the callbacks run on the
 * input threads, possibly two at once, so every access holds tapLock; main
 * reads them once freeinput has returned, when no callback runs any more. */
static double tapOffsetsMs[kMaxTaps];
static int tapCount;

static void printLog(const char* line) { fputs(line, stderr); }

static void printDevice(int32_t provider, const char* id, const char* name) {
    printf("device %d: %s [%s]\n", (int)provider, name, id);
}

/* Every press is a tap; releases say nothing about timing. */
static void onPress(uint32_t source, uint32_t code) {
    /* When the input thread saw the press, on the clock the player heard:
     * the time of the callback would add the wait for the next frame (safe
     * input on) and the output latency (the mix runs ahead of the device). */
    const double at = getinputtime();
    lockTaps();
    if (!isfinite(at)) {
        /* NaN only outside a callback: shown, never rounded to a beat. */
        printf("ignored source 0x%x code 0x%x: no input time\n", (unsigned)source, (unsigned)code);
    } else {
        const double position = (at - kFirstBeat) / beatSeconds;
        /* Only within half a beat of the first to the last beat; tested
         * before rounding, so no time is too large for lround. */
        if (position <= -0.5 || position >= beatCount - 0.5) {
            printf("ignored source 0x%x code 0x%x at %.6f s: no beat within half a beat\n", (unsigned)source,
                   (unsigned)code, at);
        } else if (tapCount == kMaxTaps) {
            printf("ignored source 0x%x code 0x%x at %.6f s: %d taps already\n", (unsigned)source, (unsigned)code, at,
                   kMaxTaps);
        } else {
            const long nearest = lround(position);
            const double offsetMs = (at - (kFirstBeat + nearest * beatSeconds)) * 1000.0;
            tapOffsetsMs[tapCount++] = offsetMs;
            printf("tap %d source 0x%x code 0x%x at %.6f s: %+.2f ms from beat %ld\n", tapCount, (unsigned)source,
                   (unsigned)code, at, offsetMs, nearest + 1);
        }
    }
    fflush(stdout);
    unlockTaps();
}

/* A click: a short burst of a sine that starts at full level on its first
 * sample, so its onset is one exact frame, and decays within 40 ms. */
static int32_t loadClick(double frequency, float level, uint32_t rate, const char* name) {
    const uint32_t frames = rate / 25;
    float* samples = malloc(sizeof(float) * frames);
    if (samples == NULL) return -1;
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = (double)i / rate;
        samples[i] = level * (float)(cos(2.0 * 3.14159265358979 * frequency * t) * exp(-t * 120.0));
    }
    /* Mono, on the music bus; the engine copies the samples. */
    const int32_t id = loadfloat(samples, frames, 1, rate, kMusicBus, 1.0f, 0.0f, 0, name);
    free(samples);
    return id;
}

static int compareDoubles(const void* a, const void* b) {
    const double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

/* The summary of the taps: how late the player taps on average, how
 * steady they are, and what a game does with it. Sorts the offsets. */
static void printSummary(double* offsetsMs, int count) {
    if (count == 0) {
        printf("taps 0: no offset to suggest\n");
        return;
    }
    double sum = 0.0;
    for (int i = 0; i < count; ++i) sum += offsetsMs[i];
    const double mean = sum / count;
    double squares = 0.0;
    for (int i = 0; i < count; ++i) squares += (offsetsMs[i] - mean) * (offsetsMs[i] - mean);
    qsort(offsetsMs, (size_t)count, sizeof offsetsMs[0], compareDoubles);
    const double median = count % 2 ? offsetsMs[count / 2] : (offsetsMs[count / 2 - 1] + offsetsMs[count / 2]) / 2.0;
    if (count > 1) {
        /* The sample standard deviation: the taps are a sample of how the
         * player taps. */
        printf("taps %d: mean %+.2f ms, standard deviation %.2f ms, median %+.2f ms\n", count, mean,
               sqrt(squares / (count - 1)), median);
    } else {
        printf("taps 1: mean %+.2f ms, standard deviation unknown from one tap, median %+.2f ms\n", mean, median);
    }
    /* The mean is how late this player's taps reach the game, beyond the
     * output latency getinputtime() already takes off: the game subtracts
     * it from every press time before judging. */
    printf("suggested offset %+.2f ms: added to every press time before judging\n", -mean);
}

static bool openOutput(const Options* options) {
    /* Provider 0 is the default (WASAPI): shared mode, the device's rate and
     * default buffer. */
    return initaudio(0, 0, 0, 0.0f, 0, 0, NULL, NULL, options->device, false);
}

/* A whole number, or -1 for anything else: atoi's overflow is undefined. */
static int parseCount(const char* text) {
    char* end;
    const long value = strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= 0 && value <= 100000 ? (int)value : -1;
}

static bool parseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (strcmp(argv[i], "--tempo") == 0 && hasValue) {
            options->tempo = atof(argv[++i]);
        } else if (strcmp(argv[i], "--beats") == 0 && hasValue) {
            options->beats = parseCount(argv[++i]);
        } else if (strcmp(argv[i], "--device") == 0 && hasValue) {
            options->device = argv[++i];
        } else if (strcmp(argv[i], "--safe-input") == 0 && hasValue) {
            const char* mode = argv[++i];
            if (strcmp(mode, "on") != 0 && strcmp(mode, "off") != 0) return false;
            options->safeInput = strcmp(mode, "on") == 0;
        } else {
            return false;
        }
    }
    return options->tempo >= 20.0 && options->tempo <= 400.0 && options->beats >= 1 && options->beats <= kMaxBeats;
}

int main(int argc, char** argv) {
    Options options = {120.0, 32, NULL, true};
    if (!parseOptions(argc, argv, &options)) {
        fprintf(stderr, "usage: calibrate [--tempo 20..400] [--beats 1..%d] [--device ID] [--safe-input on|off]\n",
                kMaxBeats);
        return 2;
    }
    setlogfunc(0, printLog); /* before anything else, so no refusal goes unseen */
    startPlatform();
    enumaudiodevices(printDevice);
    if (!openOutput(&options)) {
        fprintf(stderr, "calibrate: cannot open audio output%s%s (see the log above)\n",
                options.device ? " on device " : "", options.device ? options.device : "");
        stopPlatform();
        return 1;
    }
    const int32_t click = loadClick(1000.0, 0.7f, 48000, "click");
    if (click < 0) {
        fprintf(stderr, "calibrate: cannot load the click\n");
        freeaudio();
        stopPlatform();
        return 1;
    }

    /* Every beat is scheduled before the clock starts, each on its exact
     * frame: the clicks are the reference the taps are judged against. */
    beatSeconds = 60.0 / options.tempo;
    beatCount = options.beats;
    for (int beat = 0; beat < beatCount; ++beat)
        scheduleclock((uint32_t)click, kFirstBeat + beat * beatSeconds, INFINITY);
    printf("clicks: %d beats at %.2f bpm, the first at %.6f s\n", beatCount, options.tempo, kFirstBeat);

    /* Input starts locked with safe input on: the first unlockinput opens it. */
    const bool input = initinput(1, onPress, NULL, 0, options.safeInput ? 0 : 1, NULL, NULL, 0);
    if (!input) {
        fprintf(stderr, "calibrate: input is not available; nothing to calibrate\n");
        unload((uint32_t)click);
        freeaudio();
        stopPlatform();
        return 1;
    }
    startclock();
    printf("tap along: any key or controller button, on every click\n");
    fflush(stdout);

    /* The game loop, as the metronome runs it, until a beat after the last. */
    const double end = kFirstBeat + beatCount * beatSeconds;
    const int maxFrames = (int)(end * 1000.0 * 4) + 5000; /* gives up if the clock stalls */
    for (int frame = 0; getclock() < end && frame < maxFrames; ++frame) {
        if (options.safeInput) {
            unlockinput(); /* the taps queued since the last frame are judged now */
            lockinput();
        }
        tick();
        if (audioneedsreinit()) { /* device lost or default changed */
            freeaudio();
            if (!openOutput(&options)) {
                fprintf(stderr, "calibrate: the output did not reopen\n");
                break;
            }
        }
        sleepMs(1);
    }
    printf("done at %.6f s\n", getclock());

    freeinput(); /* judges what is still queued; no callback runs after it */
    lockTaps();
    printSummary(tapOffsetsMs, tapCount);
    unlockTaps();
    unload((uint32_t)click);
    freeaudio();
    stopPlatform();
    return 0;
}
