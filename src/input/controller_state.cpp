#include "input/controller_state.h"

namespace cl {

const std::array<ButtonCode, 14> buttonCodes = {{
    {0x0001, 203},
    {0x0002, 204},
    {0x0004, 205},
    {0x0008, 206},  // d-pad up, down, left, right
    {0x0010, 207},
    {0x0020, 208},  // start (menu), back (view)
    {0x0040, 209},
    {0x0080, 210},  // thumbstick buttons
    {0x0100, 200},
    {0x0200, 199},  // left, right shoulder
    {0x1000, 195},
    {0x2000, 196},
    {0x4000, 197},
    {0x8000, 198},  // A, B, X, Y
}};

void ControllerHeld::updateHeld(uint32_t slot, bool down, uint32_t code, bool silent, int64_t seenAt) {
    if (code >= holders_.size() || slot >= 8) return;  // no controller code or slot is that large
    const auto bit = static_cast<uint8_t>(1u << slot);
    if (down) {
        if ((holders_[code] & bit) != 0) return;
        if (holders_[code] == 0 && !silent) host_.emitPress(slot, code, seenAt);
        holders_[code] |= bit;
    } else {
        if ((holders_[code] & bit) == 0 || silent) return;
        holders_[code] &= static_cast<uint8_t>(~bit);
        if (holders_[code] == 0) host_.emitRelease(slot, code, seenAt);
    }
}

void ControllerHeld::letGo(uint32_t slot, int64_t seenAt) {
    if (slot >= 8) return;
    const auto bit = static_cast<uint8_t>(1u << slot);
    for (uint32_t code = 0; code < holders_.size(); ++code) {
        if ((holders_[code] & bit) == 0) continue;
        holders_[code] &= static_cast<uint8_t>(~bit);
        if (holders_[code] == 0) host_.emitRelease(slot, code, seenAt);
    }
}

void ControllerHeld::updateFromState(uint32_t slot, const platform::GamepadState& state, bool silent, int64_t seenAt) {
    for (const ButtonCode& button : buttonCodes)
        updateHeld(slot, (state.buttons & button.bit) != 0, button.code, silent, seenAt);
    updateHeld(slot, state.thumbLX > kStickThreshold, 213, silent, seenAt);
    updateHeld(slot, state.thumbLX < -kStickThreshold, 214, silent, seenAt);
    updateHeld(slot, state.thumbLY > kStickThreshold, 211, silent, seenAt);
    updateHeld(slot, state.thumbLY < -kStickThreshold, 212, silent, seenAt);
    updateHeld(slot, state.thumbRX > kStickThreshold, 217, silent, seenAt);
    updateHeld(slot, state.thumbRX < -kStickThreshold, 218, silent, seenAt);
    updateHeld(slot, state.thumbRY > kStickThreshold, 215, silent, seenAt);
    updateHeld(slot, state.thumbRY < -kStickThreshold, 216, silent, seenAt);
    updateHeld(slot, state.leftTrigger > kTriggerThreshold, 201, silent, seenAt);
    updateHeld(slot, state.rightTrigger > kTriggerThreshold, 202, silent, seenAt);
}

}  // namespace cl
