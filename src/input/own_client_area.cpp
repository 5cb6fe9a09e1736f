#include "input/own_client_area.h"

namespace cl {

bool isOverOwnClientArea(platform::WindowQuery& windows, platform::ScreenPoint point) {
    const platform::WindowHandle window = windows.windowFromPoint(point);
    if (windows.windowProcessId(window) != windows.currentProcessId()) return false;
    if (!windows.screenToClient(window, point)) return false;
    platform::ClientRect rect;
    if (!windows.clientRect(window, rect)) return false;
    // Right and bottom are outside, as everywhere in window rectangles.
    return rect.left <= point.x && point.x < rect.right && rect.top <= point.y && point.y < rect.bottom;
}

}  // namespace cl
