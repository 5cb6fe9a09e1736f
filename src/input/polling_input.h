#pragma once
// Keyboard and mouse without hooks: a thread reads a fixed table of keys
// about once a millisecond and reports every change it sees.
#include <array>
#include <cstdint>
#include <thread>

#include "input/input_provider.h"
#include "platform/key_polling.h"
#include "platform/window_query.h"

namespace cl {

inline constexpr size_t kPolledKeyCount = 73;
inline constexpr size_t kFirstPolledKey = 5;  // the five mouse buttons come first
extern const std::array<uint32_t, kPolledKeyCount> polledKeys;

// One poll's comparison with the last state seen; kept apart from the
// thread so tests can drive it poll by poll.
class KeyPoller {
public:
    KeyPoller(InputHost& host, platform::KeyPolling& system, platform::WindowQuery& windows)
        : host_(host), system_(system), windows_(windows) {}
    void poll();
    // Polls until the stop event is signalled.
    void run();

private:
    bool mouseTakesPart();

    InputHost& host_;
    platform::KeyPolling& system_;
    platform::WindowQuery& windows_;
    std::array<bool, kPolledKeyCount> polledDown_{};  // only the polling thread touches it
};

class PollingInput final : public InputProvider {
public:
    PollingInput(platform::KeyPolling& system, platform::WindowQuery& windows) : system_(system), windows_(windows) {}
    ~PollingInput() override { Shutdown(); }
    bool Init(InputHost& host, bool handleKeyboard, bool handleControllers) override;
    void Shutdown() override;
    void Tick() override {}

private:
    platform::KeyPolling& system_;
    platform::WindowQuery& windows_;
    std::thread pollThread_;
};

}  // namespace cl
