#pragma once
// What the low-level keyboard and mouse hooks do with each event: report a
// key or button going down once (auto-repeat gives nothing) and coming up
// once, mouse buttons only over the game's own client area.
#include <array>
#include <cstdint>

#include "input/input_provider.h"
#include "platform/hook_thread.h"
#include "platform/window_query.h"

namespace cl {

// Window messages the procedures tell apart.
namespace msg {
inline constexpr uintptr_t kKeyDown = 0x100, kKeyUp = 0x101, kSysKeyDown = 0x104, kSysKeyUp = 0x105;
inline constexpr uintptr_t kLButtonDown = 0x201, kLButtonUp = 0x202, kRButtonDown = 0x204, kRButtonUp = 0x205;
inline constexpr uintptr_t kMButtonDown = 0x207, kMButtonUp = 0x208, kXButtonDown = 0x20B, kXButtonUp = 0x20C;
}  // namespace msg

class HookLogic final : public platform::HookProcedures {
public:
    HookLogic(InputHost& host, platform::WindowQuery& windows) : host_(host), windows_(windows) {}

    void keyboard(int32_t nCode, uintptr_t wParam, uint32_t vkCode, int64_t seenAt) override;
    void mouse(int32_t nCode, uintptr_t wParam, int32_t x, int32_t y, uint32_t mouseData, int64_t seenAt) override;

    // Forgets every key; only while the hook thread is not running.
    void clear() { keyDown_.fill(false); }

private:
    void press(uint32_t code, int64_t seenAt);
    void release(uint32_t code, int64_t seenAt);

    InputHost& host_;
    platform::WindowQuery& windows_;
    // hookKeyDown, by virtual-key code. Touched only on the hook thread while
    // it runs (the system calls both procedures there, one at a time), so it
    // needs no lock; a fixed array, so a hook never allocates.
    std::array<bool, 256> keyDown_{};
};

}  // namespace cl
