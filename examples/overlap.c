/* Overlapping hits of one sample.
 *
 * play on a sound that is playing restarts it, so a second hit of a sample
 * cuts off the first. For hits that overlap, load the sample as several
 * sounds and play them in turn (docs/guide.md, "Overlapping hits"). This
 * program plays a roll of eight hits, 1/8 s apart, of a sample that rings
 * for 0.4 s, twice: on one sound, where each hit cuts off the one before,
 * then on four sounds in turn, where every hit rings out. For each hit it
 * prints how long it rang, as getposition saw it.
 *
 * On Windows it plays through the default device. Natively, against
 * libcantrelle.so, only the null output exists, which renders nothing: the
 * program loads the sounds, says so and stops there.
 */
#ifndef _WIN32
#    define _POSIX_C_SOURCE 200809L /* nanosleep, also under strict C */
#endif
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#ifdef _WIN32
#    include <mfapi.h>
#    include <objbase.h>
#    include <windows.h>
/* COM for the output, Media Foundation for converting the sample should the
 * device run at another rate: the game's to start (see metronome.c). */
static void startPlatform(void) {
    CoInitializeEx(NULL, COINIT_MULTITHREADED);
    MFStartup(MF_VERSION, MFSTARTUP_LITE);
}
static void stopPlatform(void) {
    MFShutdown();
    CoUninitialize();
}
static void sleepMs(unsigned ms) { Sleep(ms); }
enum { kProvider = 0, kOutputRate = 0 }; /* WASAPI at the device's rate */
#else
#    include <time.h>
static void startPlatform(void) {}
static void stopPlatform(void) {}
static void sleepMs(unsigned ms) {
    struct timespec pause = {ms / 1000, (long)(ms % 1000) * 1000000L};
    nanosleep(&pause, NULL);
}
enum { kProvider = 1, kOutputRate = 48000 }; /* the null output, which renders nothing */
#endif

#include "cantrelle.h"

enum { kSfxBus = 2, kRate = 48000, kHits = 8 };
static const double kGap = 0.125; /* seconds from one hit to the next */
static const double kRing = 0.4;  /* seconds each hit rings */

/* The recipe: one sample loaded as several sounds, played in turn. Four are
 * enough here, since a hit has rung out (0.4 s) before its sound's next turn
 * (4 x 0.125 s). In general: the ring over the shortest gap, rounded up. */
enum { kMaxVoices = 4 };
typedef struct {
    int32_t ids[kMaxVoices];
    int count; /* sounds in the rotation */
    int next;  /* the one the next hit plays */
} Voices;

static int playHit(Voices* voices) {
    const int voice = voices->next;
    play((uint32_t)voices->ids[voice]);
    voices->next = (voice + 1) % voices->count;
    return voice;
}

static void printLog(const char* line) { fputs(line, stderr); }

/* A struck bar: 440 Hz, decaying to silence over kRing seconds. */
static float* makeHit(uint32_t frames) {
    float* samples = malloc(sizeof(float) * frames);
    if (samples == NULL) return NULL;
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = (double)i / kRate;
        samples[i] = 0.2f * (float)(sin(2.0 * 3.14159265358979 * 440.0 * t) * (1.0 - t / kRing));
    }
    return samples;
}

/* Plays kHits hits kGap apart from the game loop, as a game plays one on
 * each key press, and prints how far into the sample each hit got before
 * it ended or its sound was restarted. */
static void playRoll(Voices* voices) {
    double rang[kHits] = {0};
    int voiceOf[kHits] = {0};
    int hitOf[kMaxVoices]; /* the hit each sound is playing, -1 for none */
    for (int voice = 0; voice < kMaxVoices; ++voice) hitOf[voice] = -1;

    printf("roll on %d sound%s\n", voices->count, voices->count == 1 ? "" : "s in turn");
    startclock();
    int hits = 0;
    const double end = (kHits - 1) * kGap + kRing + 0.1;
    for (int frame = 0; getclock() < end && frame < 20000; ++frame) {
        for (int voice = 0; voice < voices->count; ++voice) {
            if (hitOf[voice] < 0) continue;
            const double position = getposition((uint32_t)voices->ids[voice]);
            if (position > rang[hitOf[voice]]) rang[hitOf[voice]] = position;
        }
        if (hits < kHits && getclock() >= hits * kGap) {
            voiceOf[hits] = playHit(voices);
            hitOf[voiceOf[hits]] = hits;
            ++hits;
        }
        tick();
        sleepMs(1);
    }
    stopclock();

    for (int hit = 0; hit < hits; ++hit) {
        if (rang[hit] < kRing - 0.05) {
            printf("hit %d on sound %d: cut off after %.2f s\n", hit + 1, voiceOf[hit] + 1, rang[hit]);
        } else {
            printf("hit %d on sound %d: rang out (%.2f s)\n", hit + 1, voiceOf[hit] + 1, rang[hit]);
        }
    }
}

int main(void) {
    setlogfunc(0, printLog); /* before anything else, so no refusal goes unseen */
    startPlatform();
    if (!initaudio(kProvider, kOutputRate, 0, 0.0f, 0, 0, NULL, NULL, NULL, false)) {
        fprintf(stderr, "overlap: cannot open audio output (see the log above)\n");
        stopPlatform();
        return 1;
    }

    const uint32_t frames = (uint32_t)(kRing * kRate);
    float* hit = makeHit(frames);
    Voices voices = {{0}, kMaxVoices, 0};
    bool loaded = hit != NULL;
    for (int voice = 0; voice < kMaxVoices && loaded; ++voice) {
        /* Each load copies the samples: four sounds cost four copies. */
        voices.ids[voice] = loadfloat(hit, frames, 1, kRate, kSfxBus, 1.0f, 0.0f, 0, "hit");
        loaded = voices.ids[voice] >= 0;
    }
    free(hit);
    if (!loaded) {
        fprintf(stderr, "overlap: cannot load the hits\n");
        freeaudio();
        stopPlatform();
        return 1;
    }

    if (kProvider == 1) {
        printf("loaded the hit as %d sounds; the null output renders nothing, so nothing rings here\n", kMaxVoices);
    } else {
        Voices one = {{voices.ids[0]}, 1, 0}; /* the trap: every hit on the same sound */
        playRoll(&one);
        playRoll(&voices); /* the recipe */
    }

    for (int voice = 0; voice < kMaxVoices; ++voice) unload((uint32_t)voices.ids[voice]);
    freeaudio();
    stopPlatform();
    return 0;
}
