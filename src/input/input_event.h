#pragma once
// One press or release as providers report it and the game receives it.
#include <cstdint>

namespace cl {

// The source of keyboard keys and mouse buttons; controllers use their slot 0 to 3.
inline constexpr uint32_t kKeyboardMouseSource = 0x7FFFFFFF;

struct InputEvent {
    uint32_t source = 0;
    uint32_t code = 0;  // Windows virtual-key code
    uint8_t pressed = 0;
    // The counter value (platform/counter.h) at which the provider saw it:
    // where the system handed the event over, or the poll that found it.
    int64_t seenAt = 0;

    friend bool operator==(const InputEvent&, const InputEvent&) = default;
};

}  // namespace cl
