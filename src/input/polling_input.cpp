#include "input/polling_input.h"

#include "core/log.h"
#include "input/input_event.h"
#include "input/own_client_area.h"

namespace cl {

// clang-format off
const std::array<uint32_t, kPolledKeyCount> polledKeys = {
    0x01, 0x02, 0x04, 0x05, 0x06,                          // mouse buttons: left, right, middle, X1, X2
    0x20, 0x0D, 0x1B,                                      // space, return, escape
    0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5,                    // left and right shift, control, alt
    0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF, 0xC0,              // punctuation
    0x26, 0x28, 0x25, 0x27,                                // up, down, left, right
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39,
    0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D,
    0x4E, 0x4F, 0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A,
    0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x7B,  // F1 to F12
};
// clang-format on

bool KeyPoller::mouseTakesPart() {
    if (!host_.acceptMouse()) return false;
    platform::ScreenPoint cursor;
    uint32_t error = 0;
    if (!system_.cursorPos(cursor, error)) {
        // Better a click reported from anywhere than none at all.
        host_.log().message(3, "[CL] [tid=%4x] Failed to get cursor position: %u\n", tid(), error);
        return true;
    }
    return isOverOwnClientArea(windows_, cursor);
}

void KeyPoller::poll() {
    // Unfocused, nothing is read and the last states stay: a key released
    // meanwhile is reported at the first poll with focus back.
    if (!host_.focused()) return;
    for (size_t index = mouseTakesPart() ? 0 : kFirstPolledKey; index < kPolledKeyCount; ++index) {
        const bool down = system_.keyDown(polledKeys[index]);
        if (down == polledDown_[index]) continue;
        // Dated once read, not when the poll began: a key that changes
        // during the poll would otherwise be dated before it changed.
        const int64_t seenAt = host_.counterNow();
        if (down) {
            host_.emitPress(kKeyboardMouseSource, polledKeys[index], seenAt);
        } else {
            host_.emitRelease(kKeyboardMouseSource, polledKeys[index], seenAt);
        }
        polledDown_[index] = down;
    }
}

void KeyPoller::run() {
    for (;;) {
        poll();
        uint32_t waitResult = 0;
        uint32_t error = 0;
        switch (system_.waitForStop(waitResult, error)) {
            case platform::WaitOutcome::Signalled: return;
            case platform::WaitOutcome::TimedOut: break;
            case platform::WaitOutcome::Failed:
                host_.log().message(3, "[CL] [tid=%4x] Wait failed: %u (%u)\n", tid(), waitResult, error);
                system_.sleepMs(1);
                break;
        }
    }
}

bool PollingInput::Init(InputHost& host, bool, bool) {
    // A thread without its stop event could never be stopped: refused like
    // a thread that cannot start.
    if (!system_.createStopEvent()) {
        host.log().message(3, "[CL] [tid=%4x] Failed to create keyboard thread\n", tid());
        return false;
    }
    if (!system_.startThread(pollThread_, [this, &host] { KeyPoller(host, system_, windows_).run(); })) {
        system_.closeStopEvent();
        host.log().message(3, "[CL] [tid=%4x] Failed to create keyboard thread\n", tid());
        return false;
    }
    return true;
}

void PollingInput::Shutdown() {
    if (!pollThread_.joinable()) return;
    system_.signalStop();
    pollThread_.join();
    system_.closeStopEvent();
}

}  // namespace cl
