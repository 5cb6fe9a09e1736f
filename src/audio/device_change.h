#pragma once
// The device-change client: a change of the default render device in the
// console role marks the output lost, so the game reopens it on the new
// default. Other changes are logged or ignored.
#include <atomic>

#include "audio/wasapi_state.h"

namespace cl {

class DeviceChangeClient final : public platform::DeviceChangeListener {
public:
    explicit DeviceChangeClient(WasapiState& state) : state_(state) {}

    // Set before the client is registered and kept until the output that
    // registered it is gone; the system's thread only reads it.
    void setLog(Logger* log) { log_.store(log, std::memory_order_release); }

    void onDefaultDeviceChanged(int32_t flow, int32_t role, const wchar_t* deviceId) override;

private:
    WasapiState& state_;
    std::atomic<Logger*> log_{nullptr};
};

}  // namespace cl
