#pragma once
// Converting a whole sound of interleaved stereo floats to another rate with
// the platform's sample rate transform.
#include <cstddef>
#include <cstdint>

#include "platform/audio_services.h"

namespace cl {

class Logger;

// The most bytes a conversion may produce: the expected whole frames plus
// one frame. Exact in integers, so sounds beyond 2^24 frames are not cut by
// single-precision rounding.
uint64_t resampleCapacity(uint64_t sourceBytes, uint32_t sourceRate, uint32_t destinationRate);

// Converts `sourceBytes` bytes; on success the new buffer (from
// allocateSamples, owned by the caller) and its length in bytes, never more
// than the capacity. Throws std::runtime_error ("Operation failed", or
// "Pointer was null" when memory runs out) and then leaves both outputs
// alone; a capacity beyond 32-bit sample counts is refused before anything
// is converted. A failure the game can mend (no COM on the thread, Media
// Foundation not started) is a ProviderFailure with its advice.
void resampleStereoFloat(Logger& log, platform::AudioPlatform& platform, const uint8_t* source, uint64_t sourceBytes,
                         float** destination, uint64_t* destinationBytes, uint32_t sourceRate,
                         uint32_t destinationRate);

}  // namespace cl
