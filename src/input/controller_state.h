#pragma once
// Controller buttons, sticks and triggers as virtual-key presses: one held
// set for all four slots, keyed by the code alone, so the same control held
// on two controllers is one press.
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
    void updateHeld(uint32_t slot, bool down, uint32_t code, bool silent);
    // Every button row, then every stick and trigger row, in table order.
    void updateFromState(uint32_t slot, const platform::GamepadState& state, bool silent);
    void clear() { held_.fill(false); }
    bool holds(uint32_t code) const { return code < held_.size() && held_[code]; }

private:
    InputHost& host_;
    // By code (all below 256); only the controller thread touches it while
    // it runs. A fixed array: a pass never allocates.
    std::array<bool, 256> held_{};
};

}  // namespace cl
