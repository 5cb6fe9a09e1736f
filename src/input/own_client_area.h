#pragma once
// Whether a screen point lies in the client area of a window of this
// process: mouse buttons count only there, so clicks on other programs, on
// title bars and on borders are not the game's input.
#include "platform/window_query.h"

namespace cl {

bool isOverOwnClientArea(platform::WindowQuery& windows, platform::ScreenPoint point);

}  // namespace cl
