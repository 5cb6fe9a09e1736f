/* A metronome: what Cantrelle is for, in one small program.
 *
 * It opens audio output, makes two click sounds of its own, and schedules
 * four bars of beats on the engine clock, each exact to the output frame. It
 * starts input (safe input on, unless --safe-input off) and, for every key or
 * button press, prints how far it fell from the nearest beat in milliseconds,
 * timed by getinputtime() on the same clock. Its game loop is the one
 * docs/guide.md gives: it logs nothing in either input mode.
 *
 *   metronome [--tempo BPM] [--bars N] [--device ID] [--safe-input on|off]
 *
 * Lines on standard output are meant to be read by people and by scripts:
 * "beat ...", "press ...", "device ...". The engine's own log goes to
 * standard error.
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
/* The engine leaves COM and Media Foundation to the game, as a library in
 * someone else's process must: its output needs COM on the thread that
 * opens it, its resampler Media Foundation. */
static void startPlatform(void) {
    CoInitializeEx(NULL, COINIT_MULTITHREADED);
    MFStartup(MF_VERSION, MFSTARTUP_LITE);
}
static void stopPlatform(void) {
    MFShutdown();
    CoUninitialize();
}
static void sleepMs(unsigned ms) { Sleep(ms); }
#else
#    include <time.h>
static void startPlatform(void) {}
static void stopPlatform(void) {}
static void sleepMs(unsigned ms) {
    struct timespec pause = {ms / 1000, (long)(ms % 1000) * 1000000L};
    nanosleep(&pause, NULL);
}
#endif

#include "cantrelle.h"

enum { kBeatsPerBar = 4, kMusicBus = 1 };
static const double kFirstBeat = 0.5; /* seconds of clock before the first beat */

typedef struct {
    double tempo; /* beats per minute */
    int bars;
    const char* device; /* endpoint id, or NULL for the default device */
    bool safeInput;     /* false: callbacks at once, on the input threads */
} Options;

/* What the press callback needs: the beat grid on the engine clock. */
static double beatSeconds;
static int beatCount;

static void printLog(const char* line) { fputs(line, stderr); }

static void printDevice(int32_t provider, const char* id, const char* name) {
    printf("device %d: %s [%s]\n", (int)provider, name, id);
}

/* With safe input on, called on the engine's dispatcher thread while the
 * main loop waits in unlockinput; with safe input off, at once on the input
 * thread that saw the press. Either way the press is judged by
 * getinputtime(): when the input thread saw it, on the clock as the player
 * heard it. getclock() here would add the wait for the next frame (safe
 * input on) and the output's latency: the mix runs ahead of what the
 * device plays. */
static void onPress(uint32_t source, uint32_t code) {
    const double at = getinputtime();
    if (!isfinite(at)) { /* NaN only outside a callback: shown, never rounded to a beat */
        printf("press source 0x%x code 0x%x: no input time\n", (unsigned)source, (unsigned)code);
        return;
    }
    /* Clamped before rounding, so no time is too large for lround. */
    double position = (at - kFirstBeat) / beatSeconds;
    if (position < 0.0) position = 0.0;
    if (position > beatCount - 1) position = beatCount - 1;
    const long nearest = lround(position);
    const double offsetMs = (at - (kFirstBeat + nearest * beatSeconds)) * 1000.0;
    printf("press source 0x%x code 0x%x at %.6f s: %+.2f ms from beat %ld\n", (unsigned)source, (unsigned)code, at,
           offsetMs, nearest + 1);
}

static void onRelease(uint32_t source, uint32_t code) {
    (void)source; /* only presses are timed here */
    (void)code;
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
        } else if (strcmp(argv[i], "--bars") == 0 && hasValue) {
            options->bars = parseCount(argv[++i]);
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
    return options->tempo >= 20.0 && options->tempo <= 400.0 && options->bars >= 1 && options->bars <= 64;
}

int main(int argc, char** argv) {
    Options options = {120.0, 4, NULL, true};
    if (!parseOptions(argc, argv, &options)) {
        fprintf(stderr, "usage: metronome [--tempo 20..400] [--bars 1..64] [--device ID] [--safe-input on|off]\n");
        return 2;
    }
    setlogfunc(0, printLog); /* before anything else, so no refusal goes unseen */
    startPlatform();
    enumaudiodevices(printDevice);
    if (!openOutput(&options)) {
        fprintf(stderr, "metronome: cannot open audio output%s%s (see the log above)\n",
                options.device ? " on device " : "", options.device ? options.device : "");
        stopPlatform();
        return 1;
    }

    /* The accented click is made at 44100 Hz: the engine converts it to the
     * device's rate at load, so it still starts on its exact frame. */
    const int32_t click = loadClick(1000.0, 0.5f, 48000, "click");
    const int32_t accent = loadClick(1500.0, 0.9f, 44100, "accent");
    if (click < 0 || accent < 0) {
        fprintf(stderr, "metronome: cannot load the clicks\n");
        freeaudio();
        stopPlatform();
        return 1;
    }

    /* Every beat is scheduled before the clock starts: from here on the
     * audio thread alone decides when each one sounds. */
    beatSeconds = 60.0 / options.tempo;
    beatCount = options.bars * kBeatsPerBar;
    for (int beat = 0; beat < beatCount; ++beat) {
        const double start = kFirstBeat + beat * beatSeconds;
        const bool accented = beat % kBeatsPerBar == 0;
        scheduleclock((uint32_t)(accented ? accent : click), start, INFINITY);
        printf("beat %d at %.6f s%s\n", beat + 1, start, accented ? " accent" : "");
    }

    /* Safe input: presses queue up until unlockinput, which returns once
     * they have been delivered, in order. Input starts locked. */
    const bool input = initinput(1, onPress, onRelease, 0, options.safeInput ? 0 : 1, NULL, NULL, 0);
    if (!input) fprintf(stderr, "metronome: input is not available; beats only\n");
    /* lockinput and unlockinput only where they mean something: with safe
     * input off (or no input) each call would log a refusal. */
    const bool safeInput = input && options.safeInput;
    startclock();
    fflush(stdout);

    /* The game loop: one short frame at a time until a beat after the last. */
    const double end = kFirstBeat + beatCount * beatSeconds;
    const int maxFrames = (int)(end * 1000.0 * 4) + 5000; /* gives up if the clock stalls */
    for (int frame = 0; getclock() < end && frame < maxFrames; ++frame) {
        if (safeInput) {
            unlockinput(); /* the presses queued since the last frame reach onPress now */
            lockinput();   /* and no callback runs from here to the next frame's unlockinput */
        }
        /* ...the game would read its own input state here... */
        tick();
        if (audioneedsreinit()) { /* device lost or default changed */
            freeaudio();
            if (!openOutput(&options)) {
                fprintf(stderr, "metronome: the output did not reopen\n");
                break;
            }
        }
        fflush(stdout);
        sleepMs(1);
    }
    printf("done at %.6f s\n", getclock());

    if (input) freeinput(); /* delivers what is still queued, then stops input */
    unload((uint32_t)click);
    unload((uint32_t)accent);
    freeaudio();
    stopPlatform();
    return 0;
}
