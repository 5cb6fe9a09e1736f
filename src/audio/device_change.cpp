#include "audio/device_change.h"

#include "core/log.h"
#include "platform/audio_results.h"

namespace cl {

void DeviceChangeClient::onDefaultDeviceChanged(int32_t flow, int32_t role, const wchar_t* deviceId) {
    if (Logger* log = log_.load(std::memory_order_acquire)) {
        // No default device any more arrives as a null id.
        log->message(1, "[CL] [tid=%4x] Default device changed: %ls [flow=%d, role=%d]\n", tid(),
                     deviceId != nullptr ? deviceId : L"(null)", flow, role);
    }
    if (flow == platform::kFlowRender && role == platform::kRoleConsole) {
        state_.deviceLost.store(1, std::memory_order_relaxed);
    }
}

}  // namespace cl
