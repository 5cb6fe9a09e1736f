#pragma once
// A key going down or up, sent through the system's input queue as a
// keyboard would send it: what the low-level keyboard hook sees, for the
// Windows bench programs.
#include <windows.h>

namespace bench {

// False when the system refused the event.
inline bool sendKey(WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return SendInput(1, &input, sizeof input) == 1;
}

}  // namespace bench
