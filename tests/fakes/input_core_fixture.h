#pragma once
// An input core with scripted providers under the real numbers, logging
// into a capture, and the game's callbacks recording into one list.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/log.h"
#include "fakes/input_fakes.h"
#include "fakes/log_capture.h"
#include "input/input_core.h"

namespace cl::test {

// Records its calls into a shared journal ("Init 0 kb=1 ctl=1", "Tick 4", ...)
// and hands tests the host it was given.
class ScriptedInputProvider final : public InputProvider {
public:
    ScriptedInputProvider(uint32_t id, std::vector<std::string>& journal) : id_(id), journal_(journal) {}
    bool Init(InputHost& host, bool handleKeyboard, bool handleControllers) override {
        journal_.push_back("Init " + std::to_string(id_) + " kb=" + std::to_string(handleKeyboard) +
                           " ctl=" + std::to_string(handleControllers));
        host_ = &host;
        if (onInit) onInit(host);
        return initResult;
    }
    void Shutdown() override {
        journal_.push_back("Shutdown " + std::to_string(id_));
        if (onShutdown) onShutdown();
        host_ = nullptr;
    }
    void Tick() override {
        journal_.push_back("Tick " + std::to_string(id_));
        if (onTick) onTick();
    }

    InputHost* host_ = nullptr;
    bool initResult = true;
    // What the provider does besides answering, inside each operation.
    std::function<void(InputHost&)> onInit;
    std::function<void()> onShutdown;
    std::function<void()> onTick;

private:
    uint32_t id_;
    std::vector<std::string>& journal_;
};

// The game's callbacks take no context: what they saw goes to one list.
struct GameCallbacks {
    static inline std::mutex mutex;
    static inline std::vector<InputEvent> events;
    static inline std::vector<std::thread::id> threads;
    static void onPress(uint32_t source, uint32_t code) { record({source, code, 1}); }
    static void onRelease(uint32_t source, uint32_t code) { record({source, code, 0}); }
    static void record(const InputEvent& event) {
        std::lock_guard<std::mutex> guard(mutex);
        events.push_back(event);
        threads.push_back(std::this_thread::get_id());
    }
    static std::vector<InputEvent> take() {
        std::lock_guard<std::mutex> guard(mutex);
        std::vector<InputEvent> taken;
        taken.swap(events);
        threads.clear();
        return taken;
    }
};

class InputCoreTest : public ::testing::Test {
protected:
    // Provider 1 registered beside 0, 4 and 5 lets tests reach the
    // two-provider path the real registry cannot (its controller id 3 is absent).
    explicit InputCoreTest(bool withControllerProvider = false, ThreadStarter starter = startThread)
        : core_(logger_, makeRegistry(withControllerProvider), std::move(starter)) {
        GameCallbacks::take();
    }
    ~InputCoreTest() override { GameCallbacks::take(); }

    bool initSafe(bool focused = true) {
        return core_.initInput(
            {.focused = focused, .onPress = GameCallbacks::onPress, .onRelease = GameCallbacks::onRelease});
    }
    bool initDirect() {
        return core_.initInput({.focused = true,
                                .onPress = GameCallbacks::onPress,
                                .onRelease = GameCallbacks::onRelease,
                                .disableSafeInput = true});
    }
    // The dispatcher had its chance at every queued event.
    void awaitDispatcherIdle() {
        while (!core_.dispatcherIdle()) std::this_thread::yield();
    }
    std::vector<std::string> logged() { return log_.takeBodies(); }

    LogCapture log_;
    Logger logger_{&LogCapture::sink};
    std::vector<std::string> journal_;
    ScriptedInputProvider* default_ = nullptr;
    ScriptedInputProvider* polling_ = nullptr;
    ScriptedInputProvider* controller_ = nullptr;
    InputCore core_;

private:
    InputProviderRegistry makeRegistry(bool withControllerProvider) {
        InputProviderRegistry registry;
        auto add = [&](uint32_t id) {
            auto provider = std::make_unique<ScriptedInputProvider>(id, journal_);
            ScriptedInputProvider* raw = provider.get();
            registry.add(id, std::move(provider));
            return raw;
        };
        default_ = add(kDefaultInput);
        registry.add(kNullInput, std::make_unique<NullInput>());
        polling_ = add(kPollingInput);
        if (withControllerProvider) controller_ = add(kControllerInput);
        return registry;
    }
};

}  // namespace cl::test
