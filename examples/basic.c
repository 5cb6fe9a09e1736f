/* The smallest use of the engine: open the null output (no device, nothing
 * is heard), load a generated tone, and show its length, the build and every
 * log line the engine writes. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include "cantrelle.h"

static void printLine(const char* line) { printf("  log: %s", line); }

static intptr_t printBuildString(const char* text) {
    printf("build: %s\n", text);
    return 0;
}

int main(void) {
    setlogfunc(0, printLine);
    getbuildstring(printBuildString);
    printf("version: %d\n", getversion());

    if (!initaudio(1, 44100, 0, 0.0f, 0, 0, NULL, NULL, NULL, false)) {
        printf("initaudio failed\n");
        return 1;
    }
    printf("null output open at 44100 Hz (the null provider renders nothing)\n");

    enum { kRate = 44100, kFrames = kRate / 2 };
    float* tone = malloc(sizeof(float) * kFrames);
    for (int i = 0; i < kFrames; ++i) tone[i] = 0.25f * (float)sin(2.0 * 3.14159265358979 * 440.0 * i / kRate);
    int32_t id = loadfloat(tone, kFrames, 1, kRate, 2, 1.0f, 0.0f, 0, "tone 440 Hz");
    free(tone);
    printf("loaded a half-second mono tone as sound %d\n", id);

    printf("now some refusals, reported through the log:\n");
    loadfloat(NULL, 0, 3, kRate, 0, 1.0f, 0.0f, 0, NULL);
    loadfloat(NULL, 0, 1, kRate, 7, 1.0f, 0.0f, 0, NULL);
    initaudio(1, 44100, 0, 0.0f, 0, 0, NULL, NULL, NULL, false);

    unload((uint32_t)id);
    freeaudio();
    printf("audio closed\n");
    return 0;
}
