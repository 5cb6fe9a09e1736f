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

    friend bool operator==(const InputEvent&, const InputEvent&) = default;
};

}  // namespace cl
