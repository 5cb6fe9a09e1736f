/* Stands in for a player in the demo run: sends key presses through the
 * system's input queue (SendInput), as a keyboard would, at the given
 * milliseconds after its own start. Not part of the library.
 *
 *   press_keys MS [MS...]
 */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

static void sendKey(WORD key, DWORD flags) {
    INPUT input;
    ZeroMemory(&input, sizeof input);
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = flags;
    if (SendInput(1, &input, sizeof input) != 1)
        fprintf(stderr, "press_keys: SendInput failed (%lu)\n", GetLastError());
}

int main(int argc, char** argv) {
    const DWORD start = GetTickCount();
    for (int i = 1; i < argc; ++i) {
        const DWORD at = (DWORD)strtoul(argv[i], NULL, 10);
        const DWORD now = GetTickCount() - start;
        if (at > now) Sleep(at - now);
        sendKey(VK_SPACE, 0);
        Sleep(30); /* a short tap */
        sendKey(VK_SPACE, KEYEVENTF_KEYUP);
        printf("pressed space at %lu ms\n", (unsigned long)(GetTickCount() - start));
        fflush(stdout);
    }
    return 0;
}
