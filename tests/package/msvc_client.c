/* A Visual Studio game's view of Cantrelle.dll: only cantrelle.h and
 * Cantrelle.lib. Compiled for the MSVC ABI (clang --target=x86_64-pc-windows-msvc
 * -ffreestanding) and linked by lld-link /nodefaultlib, so no C runtime and
 * no Windows SDK take part: every call below goes through the .lib's
 * __imp_ pointers, as a program built by Visual Studio calls the DLL.
 *
 * Without a C runtime there is no mainCRTStartup: clientEntry is the
 * entry point (/entry:clientEntry) and leaves through ExitProcess, whose
 * import library the test makes from a one-line .def. The exit code is 0
 * when every check passed, else the number of the first failed check. */
#include "cantrelle.h"

/* The compiler references this symbol from any code that uses floating
 * point; the C runtime normally defines it. */
int _fltused = 0;

__declspec(dllimport) void __stdcall ExitProcess(unsigned int exitCode);

static int logLines = 0;
static void countLogLine(const char* line) {
    if (line != 0 && line[0] != '\0') ++logLines;
}

static const char* seenBuildString = 0;
static intptr_t keepBuildString(const char* text) {
    seenBuildString = text;
    return 4242;
}

static int startsWith(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        if (*text != *prefix) return 0;
    }
    return 1;
}

/* One check per argument and result type the interface uses: int32_t,
 * intptr_t, float, double, bool, pointers and callbacks both ways. */
static unsigned int runChecks(void) {
    if (getversion() != 35) return 1;
    if (getfeatures() != 0) return 2;
    if (getbuildstring(keepBuildString) != 4242) return 3;
    if (seenBuildString == 0 || !startsWith(seenBuildString, "Cantrelle Engine 0.35 ")) return 4;

    setglobalvolume(0.25f);
    if (getglobalvolume() != 0.25f) return 5;
    setmusicvolume(7.0f); /* clamped to 1 */
    if (getmusicvolume() != 1.0f) return 6;
    if (getclock() != 0.0) return 7;
    if (clockrunning()) return 8;

    /* A refused load answers -1 and reports through the log receiver: the
     * DLL calls back into this program. */
    setlogfunc(0, countLogLine);
    static const float samples[4] = {0.0f, 0.5f, -0.5f, 0.0f};
    if (loadfloat(samples, 4, 3, 48000, 0, 1.0f, 0.0f, 0, "three channels") != -1) return 9;
    if (logLines < 1) return 10;
    setlogfunc(0, 0);
    return 0;
}

void clientEntry(void) { ExitProcess(runChecks()); }
