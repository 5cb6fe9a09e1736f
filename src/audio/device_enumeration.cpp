#include "audio/device_enumeration.h"

#include "audio/wasapi_state.h"
#include "core/log.h"
#include "core/provider.h"
#include "platform/audio_results.h"

namespace cl {

bool enumerateDevices(Logger& log, platform::AudioPlatform& platform, DeviceCallback callback) {
    std::unique_ptr<platform::DeviceEnumerator> enumerator;
    std::unique_ptr<platform::DeviceCollection> devices;
    uint32_t count = 0;
    if (int32_t result = platform.createDeviceEnumerator(&enumerator); platform::failed(result)) {
        logCheckFailure(log, 672, result);
        return false;
    }
    if (int32_t result = enumerator->EnumAudioEndpoints(&devices); platform::failed(result)) {
        logCheckFailure(log, 677, result);
        return false;
    }
    if (int32_t result = devices->GetCount(&count); platform::failed(result)) {
        logCheckFailure(log, 681, result);
        return false;
    }

    for (uint32_t index = 0; index < count; ++index) {
        // Released at the end of each pass: the store before the device.
        std::unique_ptr<platform::AudioDevice> device;
        std::unique_ptr<platform::PropertyStore> store;
        std::wstring id;
        std::wstring name;
        if (int32_t result = devices->Item(index, &device); platform::failed(result)) {
            logCheckFailure(log, 689, result);
            return false;
        }
        if (int32_t result = device->GetId(&id); platform::failed(result)) {
            logCheckFailure(log, 694, result);
            return false;
        }
        if (int32_t result = device->OpenPropertyStore(&store); platform::failed(result)) {
            logCheckFailure(log, 699, result);
            return false;
        }
        if (int32_t result = store->GetFriendlyName(&name); platform::failed(result)) {
            logCheckFailure(log, 708, result);
            return false;
        }
        std::string utf8Id;
        std::string utf8Name;
        if (uint32_t error = platform.wideToUtf8(id.c_str(), &utf8Id); error != 0) {
            logLastErrorFailure(log, 711, error);
            return false;
        }
        if (uint32_t error = platform.wideToUtf8(name.c_str(), &utf8Name); error != 0) {
            logLastErrorFailure(log, 713, error);
            return false;
        }
        callback(kWasapiProvider, utf8Id.c_str(), utf8Name.c_str());
    }
    return true;
}

}  // namespace cl
