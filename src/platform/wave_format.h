#pragma once
// A device format laid out byte for byte like the Windows WAVEFORMATEXTENSIBLE
// record (the 18-byte WAVEFORMATEX head, then the extension), so the Windows
// layer hands it to the audio client as it is and the logic stays portable.
#include <cstdint>
#include <cstring>

namespace cl::platform {

// The natural layout already matches the Windows records byte for byte
// (checked below and against the Windows headers), so no packing is needed
// and every field stays aligned.
struct Guid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];

    bool operator==(const Guid& other) const { return std::memcmp(this, &other, sizeof *this) == 0; }
};

struct WaveFormat {
    uint16_t formatTag;
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    uint16_t cbSize;  // bytes after the 18-byte head: 22 in the extensible form, 0 in the plain one
    uint16_t validBitsPerSample;
    uint32_t channelMask;
    Guid subFormat;
};

static_assert(sizeof(Guid) == 16);
static_assert(sizeof(WaveFormat) == 40);

inline constexpr size_t kWaveFormatHeadSize = 18;
inline constexpr uint16_t kWaveFormatPcm = 1;
inline constexpr uint16_t kWaveFormatIeeeFloat = 3;
inline constexpr uint16_t kWaveFormatExtensible = 0xFFFE;

// KSDATAFORMAT_SUBTYPE_PCM and KSDATAFORMAT_SUBTYPE_IEEE_FLOAT.
inline constexpr Guid kSubtypePcm{0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
inline constexpr Guid kSubtypeIeeeFloat{0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// Reads a format as a device reported it: the head and cbSize bytes after
// it, of which this record keeps what fits in 40 bytes. False when the bytes
// cannot even hold the head.
inline bool readWaveFormat(const uint8_t* bytes, size_t size, WaveFormat* out) {
    if (bytes == nullptr || size < kWaveFormatHeadSize) return false;
    WaveFormat format{};
    std::memcpy(&format, bytes, kWaveFormatHeadSize);
    size_t total = kWaveFormatHeadSize + format.cbSize;
    if (total > sizeof format) total = sizeof format;
    if (total > size) total = size;
    std::memcpy(&format, bytes, total);
    *out = format;
    return true;
}

}  // namespace cl::platform
