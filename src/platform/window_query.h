#pragma once
// Window questions behind "is this screen point over one of the game's own
// windows": which window is there, whose it is, and its client rectangle.
#include <cstdint>

namespace cl::platform {

struct ScreenPoint {
    int32_t x = 0;
    int32_t y = 0;
};

struct ClientRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

using WindowHandle = uintptr_t;  // 0: no window

class WindowQuery {
public:
    virtual ~WindowQuery() = default;
    virtual WindowHandle windowFromPoint(ScreenPoint point) = 0;
    virtual uint32_t windowProcessId(WindowHandle window) = 0;  // 0 when it fails
    virtual uint32_t currentProcessId() = 0;
    virtual bool screenToClient(WindowHandle window, ScreenPoint& point) = 0;
    virtual bool clientRect(WindowHandle window, ClientRect& rect) = 0;
};

}  // namespace cl::platform
