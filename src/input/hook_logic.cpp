#include "input/hook_logic.h"

#include "input/input_event.h"
#include "input/own_client_area.h"

namespace cl {

void HookLogic::press(uint32_t code, int64_t seenAt) {
    if (keyDown_[code]) return;  // auto-repeat, or a press not yet released
    host_.emitPress(kKeyboardMouseSource, code, seenAt);
    keyDown_[code] = true;
}

void HookLogic::release(uint32_t code, int64_t seenAt) {
    if (!keyDown_[code]) return;  // pressed while the game did not listen
    host_.emitRelease(kKeyboardMouseSource, code, seenAt);
    keyDown_[code] = false;
}

void HookLogic::keyboard(int32_t nCode, uintptr_t wParam, uint32_t vkCode, int64_t seenAt) {
    // Virtual-key codes are below 256; anything else is no key.
    if (nCode < 0 || !host_.focused() || vkCode >= keyDown_.size()) return;
    if (wParam == msg::kKeyDown || wParam == msg::kSysKeyDown) press(vkCode, seenAt);
    if (wParam == msg::kKeyUp || wParam == msg::kSysKeyUp) release(vkCode, seenAt);
}

void HookLogic::mouse(int32_t nCode, uintptr_t wParam, int32_t x, int32_t y, uint32_t mouseData, int64_t seenAt) {
    if (nCode < 0) return;
    uint32_t code = 0;
    bool down = false;
    switch (wParam) {
        case msg::kLButtonDown: code = 1, down = true; break;
        case msg::kLButtonUp: code = 1; break;
        case msg::kRButtonDown: code = 2, down = true; break;
        case msg::kRButtonUp: code = 2; break;
        case msg::kMButtonDown: code = 4, down = true; break;
        case msg::kMButtonUp: code = 4; break;
        case msg::kXButtonDown:
        case msg::kXButtonUp: {
            const uint32_t button = mouseData >> 16;  // XBUTTON1 is 1, XBUTTON2 is 2
            if (button != 1 && button != 2) return;
            code = 4 + button;
            down = wParam == msg::kXButtonDown;
            break;
        }
        default: return;  // moves, wheels, double clicks
    }
    if (!host_.acceptMouse() || !isOverOwnClientArea(windows_, {x, y})) return;
    if (down) {
        press(code, seenAt);
    } else {
        release(code, seenAt);
    }
}

}  // namespace cl
