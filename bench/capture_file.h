#pragma once
// What Wine's file device played, for the Windows bench programs run through
// scripts/wine-run.sh: its ALSA device writes every frame it is handed to a
// file (interleaved S16_LE stereo at 48000 Hz) named by the environment
// variable CANTRELLE_CAPTURE_FILE. How far the file has grown is what the
// device has been handed so far; the whole file, read afterwards, is what
// it played.
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace bench {

constexpr uint32_t kCaptureRate = 48000;  // wine-run.sh's device: S16_LE stereo at 48000 Hz

// Frames in the capture file now: what the device has been handed so far.
class CaptureSize {
public:
    explicit CaptureSize(const char* path) : path_(path) {}
    ~CaptureSize() {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    }
    CaptureSize(const CaptureSize&) = delete;
    CaptureSize& operator=(const CaptureSize&) = delete;

    size_t frames() {
        if (file_ == INVALID_HANDLE_VALUE) {
            // The device creates the file when it opens; share everything so
            // it keeps writing.
            file_ = CreateFileA(path_, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file_ == INVALID_HANDLE_VALUE) return 0;
        }
        LARGE_INTEGER size;
        if (!GetFileSizeEx(file_, &size)) return last_;
        const size_t frames = static_cast<size_t>(size.QuadPart) / 4;
        if (frames > last_) {
            if (last_ > 0) {
                steps_++;
                largestStep_ = std::max(largestStep_, frames - last_);
            }
            stepFrames_ += frames - last_;
            last_ = frames;
        }
        return last_;
    }
    // How the file grows: the device writes it in blocks, so a count read
    // between two writes lags what was handed over by up to a block. Counts
    // the growth seen by frames() since markStart().
    void printSteps() const {
        if (steps_ == 0) return;
        std::fprintf(stderr, "the capture grew in %zu writes of %.0f frames on average, the largest %zu\n", steps_,
                     static_cast<double>(stepFrames_ - firstFrames_) / steps_, largestStep_);
    }
    void markStart() {
        firstFrames_ = stepFrames_;
        steps_ = 0;
        largestStep_ = 0;
    }

private:
    const char* path_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    size_t last_ = 0;
    size_t steps_ = 0;
    size_t stepFrames_ = 0;
    size_t firstFrames_ = 0;
    size_t largestStep_ = 0;
};

// The whole capture as interleaved samples, whole frames only; empty when
// the file cannot be read.
inline std::vector<int16_t> readCapture(const char* path) {
    std::vector<int16_t> samples;
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return samples;
    int16_t block[1 << 14];
    size_t got;
    while ((got = std::fread(block, sizeof(int16_t), sizeof block / sizeof block[0], file)) > 0) {
        samples.insert(samples.end(), block, block + got);
    }
    std::fclose(file);
    samples.resize(samples.size() & ~size_t{1});  // whole frames
    return samples;
}

}  // namespace bench
