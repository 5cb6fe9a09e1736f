#pragma once
// The device's own account of what it plays: at each wake the audio thread
// asks the device's clock where it is in the stream and publishes the answer
// (Published: any thread reads the newest whole report without waiting).
#include <cstdint>

namespace cl {

struct DevicePosition {
    uint64_t reports = 0;        // published since the output opened, this one included; 0: none yet
    uint64_t frame = 0;          // stream frames the device has played, at the output rate
    uint64_t qpcTime = 0;        // the performance counter when it held, in 100-ns units
    uint64_t framesWritten = 0;  // stream frames the engine had released to the device by then
};

}  // namespace cl
