#pragma once
// Fakes for the input providers: a host that records what providers report,
// and scripted stand-ins for the system services they call.
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <ostream>
#include <thread>
#include <vector>

#include "core/log.h"
#include "fakes/log_capture.h"
#include "input/input_event.h"
#include "input/input_provider.h"
#include "platform/controllers.h"
#include "platform/hook_thread.h"
#include "platform/key_polling.h"
#include "platform/window_query.h"

namespace cl {
inline void PrintTo(const InputEvent& event, std::ostream* out) {
    *out << (event.pressed ? "press(" : "release(") << event.source << ", " << event.code << ")";
    if (event.seenAt != 0) *out << " seen at " << event.seenAt;
}
}  // namespace cl

namespace cl::test {

inline InputEvent press(uint32_t code, uint32_t source = kKeyboardMouseSource) { return {source, code, 1}; }
inline InputEvent release(uint32_t code, uint32_t source = kKeyboardMouseSource) { return {source, code, 0}; }

class FakeInputHost final : public InputHost {
public:
    void emitPress(uint32_t source, uint32_t code, int64_t seenAt) override { record({source, code, 1, seenAt}); }
    void emitRelease(uint32_t source, uint32_t code, int64_t seenAt) override { record({source, code, 0, seenAt}); }
    // A scripted counter: each reading one tick after the last, unless the
    // test hands in another (the real one, under Wine).
    int64_t counterNow() const override { return counter_ ? counter_() : ++fakeCounter_; }
    bool focused() const override { return focused_; }
    bool acceptMouse() const override { return acceptMouse_; }
    Logger& log() override { return log_; }

    // The events so far, without their times.
    std::vector<InputEvent> take() {
        std::vector<InputEvent> taken = takeTimed();
        for (InputEvent& event : taken) event.seenAt = 0;
        return taken;
    }
    // The events so far, with the times the providers gave them.
    std::vector<InputEvent> takeTimed() {
        std::lock_guard<std::mutex> guard(mutex_);
        std::vector<InputEvent> taken;
        taken.swap(events_);
        return taken;
    }

    bool focused_ = true;
    bool acceptMouse_ = true;
    std::function<int64_t()> counter_;

private:
    void record(const InputEvent& event) {
        std::lock_guard<std::mutex> guard(mutex_);
        events_.push_back(event);
    }
    Logger log_{&LogCapture::sink};
    std::mutex mutex_;
    std::vector<InputEvent> events_;
    mutable std::atomic<int64_t> fakeCounter_{1000};
};

// Windows as screen rectangles of given processes; later ones lie on top.
class FakeWindows final : public platform::WindowQuery {
public:
    static constexpr uint32_t kOwnProcess = 100;
    struct Window {
        platform::ClientRect client;  // in screen coordinates
        uint32_t processId = kOwnProcess;
        platform::ClientRect frame;  // the whole window, client area and borders
    };
    // Window handles are index + 1.
    platform::WindowHandle add(platform::ClientRect client, uint32_t processId = kOwnProcess, int border = 0) {
        windows.push_back({client,
                           processId,
                           {client.left - border, client.top - border, client.right + border, client.bottom + border}});
        return windows.size();
    }

    platform::WindowHandle windowFromPoint(platform::ScreenPoint point) override {
        for (size_t i = windows.size(); i-- > 0;) {
            const platform::ClientRect& r = windows[i].frame;
            if (r.left <= point.x && point.x < r.right && r.top <= point.y && point.y < r.bottom) return i + 1;
        }
        return 0;
    }
    uint32_t windowProcessId(platform::WindowHandle window) override {
        return window == 0 ? 0 : windows[window - 1].processId;
    }
    uint32_t currentProcessId() override { return kOwnProcess; }
    bool screenToClient(platform::WindowHandle window, platform::ScreenPoint& point) override {
        if (failScreenToClient || window == 0) return false;
        point.x -= windows[window - 1].client.left;
        point.y -= windows[window - 1].client.top;
        return true;
    }
    bool clientRect(platform::WindowHandle window, platform::ClientRect& rect) override {
        if (failClientRect || window == 0) return false;
        const platform::ClientRect& c = windows[window - 1].client;
        rect = {0, 0, c.right - c.left, c.bottom - c.top};
        return true;
    }

    std::vector<Window> windows;
    bool failScreenToClient = false;
    bool failClientRect = false;
};

// Key states and cursor set by the test; waits answer from a script (then
// time out), and every wait runs the test's hook between polls.
class FakeKeyPolling final : public platform::KeyPolling {
public:
    bool createStopEvent() override { return created = canCreate; }
    void signalStop() override { stopSignals++; }
    void closeStopEvent() override { created = false; }
    platform::WaitOutcome waitForStop(uint32_t& waitResult, uint32_t& error) override {
        waits++;
        if (betweenPolls) betweenPolls(waits);
        if (waitScript.empty()) return platform::WaitOutcome::TimedOut;
        const platform::WaitOutcome outcome = waitScript.front();
        waitScript.pop_front();
        waitResult = 0xFFFFFFFF;
        error = 6;
        return outcome;
    }
    void sleepMs(uint32_t) override { sleeps++; }
    bool startThread(std::thread& thread, std::function<void()> body) override {
        if (!canStartThread) return false;
        thread = std::thread(std::move(body));
        return true;
    }
    bool keyDown(uint32_t virtualKey) override {
        ++keyReads;
        if (onKeyRead) onKeyRead(virtualKey);
        return down.count(virtualKey) != 0 && down.at(virtualKey);
    }
    bool cursorPos(platform::ScreenPoint& point, uint32_t& error) override {
        if (cursorError != 0) {
            error = cursorError;
            return false;
        }
        point = cursor;
        return true;
    }

    bool canCreate = true;
    bool canStartThread = true;
    bool created = false;
    int stopSignals = 0;
    int waits = 0;
    int sleeps = 0;
    std::deque<platform::WaitOutcome> waitScript;
    std::function<void(int wait)> betweenPolls;
    std::map<uint32_t, bool> down;
    int64_t keyReads = 0;                     // keyDown calls so far
    std::function<void(uint32_t)> onKeyRead;  // runs before each answer
    platform::ScreenPoint cursor;
    uint32_t cursorError = 0;
};

}  // namespace cl::test
