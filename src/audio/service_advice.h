#pragma once
// The failures of the system's audio services that a game causes by
// skipping a call the library leaves to it (it never starts COM or Media
// Foundation), and the line that tells it which call.
#include <cstdint>

#include "platform/audio_results.h"

namespace cl {

// The advice for a failed result, or null when the result names no such
// mistake. CO_E_NOTINITIALIZED is what CoCreateInstance answers on a thread
// without COM (initaudio's first call, and the resampler's creation on a
// loading thread; seen under Wine). MF_E_PLATFORM_NOT_INITIALIZED is what
// Media Foundation answers a call that needs MFStartup; Wine 8's resampler
// path needs none and converts without it.
inline const char* serviceAdvice(int32_t result) {
    switch (result) {
        case platform::kComNotInitialized:
            return "COM is not initialised on this thread: call CoInitializeEx on this thread first";
        case platform::kMfNotStarted:
            return "Media Foundation is not started: call MFStartup before loading sounds at another rate";
        default: return nullptr;
    }
}

}  // namespace cl
