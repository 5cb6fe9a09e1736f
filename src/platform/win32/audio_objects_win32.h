#pragma once
// The Windows objects behind the platform layer's audio interfaces.
#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include "platform/audio_services.h"

namespace cl::platform::win32 {

// Each takes over the reference it is given.
std::unique_ptr<DeviceEnumerator> wrapDeviceEnumerator(IMMDeviceEnumerator* enumerator);
std::unique_ptr<AudioClient> wrapAudioClient(IAudioClient* client, IAudioClient3* client3);

// The Media Foundation resampler (in its own file: the Media Foundation
// headers do not mix with the audio client's).
int32_t createMfResampler(std::unique_ptr<SampleRateTransform>* transform);

}  // namespace cl::platform::win32
