#pragma once
// XInput and the controller thread's services, scripted. XInputGetState is
// a plain function pointer with no context, so the fake controllers are
// process-wide: one FakeControllers at a time.
#include <array>
#include <cassert>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/controllers.h"
#include "platform/hook_thread.h"

namespace cl::test {

struct FakeControllers {
    FakeControllers() {
        assert(active == nullptr && "one FakeControllers at a time");
        active = this;
    }
    ~FakeControllers() { active = nullptr; }

    // What XInputGetState answers per slot; 1167 (not connected) by default.
    void connect(uint32_t slot, platform::GamepadState state = {}) {
        std::lock_guard<std::mutex> guard(mutex);
        results[slot] = 0;
        states[slot] = state;
    }
    void answer(uint32_t slot, uint32_t result) {
        std::lock_guard<std::mutex> guard(mutex);
        results[slot] = result;
    }
    int callsFor(uint32_t slot) {
        std::lock_guard<std::mutex> guard(mutex);
        return calls[slot];
    }

    static uint32_t getState(uint32_t slot, platform::XInputState* state) {
        std::lock_guard<std::mutex> guard(active->mutex);
        active->calls[slot]++;
        if (active->results[slot] == 0) state->gamepad = active->states[slot];
        return active->results[slot];
    }

    std::mutex mutex;
    std::array<uint32_t, 4> results{1167, 1167, 1167, 1167};
    std::array<platform::GamepadState, 4> states{};
    std::array<int, 4> calls{};
    static inline FakeControllers* active = nullptr;
};

// Libraries by name: which load, and whether they have XInputGetState.
class FakeLibraries final : public platform::DynamicLibraries {
public:
    std::map<std::string, bool> available;  // name -> has XInputGetState
    std::vector<std::string> loaded;        // every load that succeeded, in order
    std::multiset<uintptr_t> open;          // loaded and not yet freed

    uintptr_t load(const char* name) override {
        auto found = available.find(name);
        if (found == available.end()) return 0;
        loaded.push_back(name);
        const uintptr_t handle = 1 + std::distance(available.begin(), found);
        open.insert(handle);
        return handle;
    }
    void* symbol(uintptr_t library, const char* name) override {
        auto entry = std::next(available.begin(), static_cast<long>(library - 1));
        if (std::string(name) != "XInputGetState" || !entry->second) return nullptr;
        return reinterpret_cast<void*>(&FakeControllers::getState);
    }
    void free(uintptr_t library) override {
        auto found = open.find(library);
        assert(found != open.end() && "freed a library that is not open");
        open.erase(found);
    }
};

// The controller thread's events, driven from the test: stop after a number
// of passes (counted at each stop test after the first).
class FakeControllerSignals final : public platform::ControllerSignals {
public:
    bool create() override { return created = canCreate; }
    void close() override { created = false; }
    void signalStop() override {
        std::lock_guard<std::mutex> guard(mutex_);
        stop_ = true;
    }
    // Tested once before the first pass and once after each; the hook runs
    // after pass n with n.
    bool stopSignalled() override {
        int tests = 0;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            tests = stopTests_++;
        }
        if (betweenPasses && tests > 0) betweenPasses(tests);
        std::lock_guard<std::mutex> guard(mutex_);
        return stop_ || (stopAfterPasses >= 0 && tests >= stopAfterPasses && tests > 0);
    }
    void setPresent(bool isPresent) override { present = isPresent; }
    void waitForStopOrPresent() override { idleWaits++; }
    void sleepMs(uint32_t) override { sleeps++; }
    void raiseThreadPriority() override { raised = true; }
    bool startThread(std::thread& thread, std::function<void()> body) override {
        if (!canStartThread) return false;
        // With startEmpty the test runs the body itself, on its own thread.
        thread = startEmpty ? std::thread([] {}) : std::thread(std::move(body));
        return true;
    }

    bool canCreate = true;
    bool canStartThread = true;
    bool startEmpty = false;
    bool created = false;
    bool present = false;
    bool raised = false;
    int idleWaits = 0;
    int sleeps = 0;
    int stopAfterPasses = -1;  // -1: only signalStop stops
    std::function<void(int pass)> betweenPasses;

private:
    std::mutex mutex_;
    bool stop_ = false;
    int stopTests_ = 0;
};

class FakeHookThread final : public platform::HookThread {
public:
    bool start(platform::HookProcedures& procedures) override {
        if (!canStart) return false;
        running = &procedures;
        starts++;
        return true;
    }
    void stop() override {
        running = nullptr;
        stops++;
        if (onStop) onStop();
    }
    bool canStart = true;
    std::function<void()> onStop;  // runs inside stop, on the thread that stops input
    platform::HookProcedures* running = nullptr;
    int starts = 0;
    int stops = 0;
};

}  // namespace cl::test
