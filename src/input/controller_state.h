#pragma once
// Controller buttons, sticks and triggers as virtual-key presses. Each code
// remembers which slots hold it: the first slot to take a control down
// reports the press and the last one to let go reports the release, so a
// control held on several pads is one press, and a pad left idle beside a
// holding one releases nothing.
#include <array>
#include <cstdint>

#include "input/input_provider.h"
#include "platform/controllers.h"

namespace cl {

inline constexpr int32_t kStickThreshold = 20000;  // strictly beyond counts as pressed
inline constexpr int32_t kTriggerThreshold = 30;

struct ButtonCode {
    uint16_t bit;
    uint32_t code;
};
extern const std::array<ButtonCode, 14> buttonCodes;

class ControllerHeld {
public:
    explicit ControllerHeld(InputHost& host) : host_(host) {}

    // A silent update takes a control that is down into the set without a
    // press and reports nothing for one that is up.
    // seenAt: the counter value of the poll that found the state.
    void updateHeld(uint32_t slot, bool down, uint32_t code, bool silent, int64_t seenAt);
    // Every button row, then every stick and trigger row, in table order.
    void updateFromState(uint32_t slot, const platform::GamepadState& state, bool silent, int64_t seenAt);
    // The slot is gone (unplugged, or no longer enumerated): it holds
    // nothing any more, and what only it held is released under its number.
    void letGo(uint32_t slot, int64_t seenAt);
    void clear() { holders_.fill(0); }
    bool holds(uint32_t code) const { return code < holders_.size() && holders_[code] != 0; }

private:
    // By code (all below 256), a bit per slot; only the controller thread
    // touches it while it runs. A fixed array: a pass never allocates.
    InputHost& host_;
    std::array<uint8_t, 256> holders_{};
};

}  // namespace cl
