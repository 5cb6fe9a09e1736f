#pragma once
// Writes one mixed sample in the device's format. Realtime: no branches on
// anything but the format, no allocation.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/output_format.h"

namespace cl {

// Clips to [-1, 1]. NaN (a game's sample data may hold one) becomes silence,
// since converting it to an integer would be undefined.
inline float clipSample(float s) {
    if (!(s == s)) return 0.0f;
    return s < -1.0f ? -1.0f : (s > 1.0f ? 1.0f : s);
}

// Writes the clipped sample s at out (little-endian) and returns the byte after it.
inline uint8_t* writeSample(SampleFormat format, uint8_t* out, float s) {
    switch (format) {
        case SampleFormat::Pcm8: *out = static_cast<uint8_t>(static_cast<int32_t>(s * 127.0f + 128.0f)); return out + 1;
        case SampleFormat::Pcm16: {
            const int16_t v = static_cast<int16_t>(s * 32767.0f);
            std::memcpy(out, &v, 2);
            return out + 2;
        }
        case SampleFormat::Pcm24Padded: {
            const int32_t v = static_cast<int32_t>(s * 8388607.0f) * 256;  // 24 bits in the upper three bytes
            std::memcpy(out, &v, 4);
            return out + 4;
        }
        case SampleFormat::Pcm24Tight: {
            const uint32_t v = static_cast<uint32_t>(static_cast<int32_t>(s * 8388607.0f));
            out[0] = static_cast<uint8_t>(v);
            out[1] = static_cast<uint8_t>(v >> 8);
            out[2] = static_cast<uint8_t>(v >> 16);
            return out + 3;
        }
        case SampleFormat::Pcm32: {
            // +1.0 would be 2^31, one past the largest value: saturate there.
            const double scaled = static_cast<double>(s) * 2147483648.0;
            const int32_t v = scaled >= 2147483647.0 ? INT32_MAX : static_cast<int32_t>(scaled);
            std::memcpy(out, &v, 4);
            return out + 4;
        }
        case SampleFormat::Float32: std::memcpy(out, &s, 4); return out + 4;
    }
    return out;
}

inline uint8_t silenceByte(SampleFormat format) { return format == SampleFormat::Pcm8 ? 0x80 : 0x00; }

}  // namespace cl
