// Output latency as the device plays it, through the real Cantrelle.dll and
// only its C interface. A Windows program run by hand under Wine through
// scripts/wine-run.sh, whose ALSA file device keeps what it played; not a
// test. One run measures one setting and prints one markdown table row;
// bench/output_latency.sh runs every setting, each with its own capture.
//
//   output_latency_bench [--exclusive] [--buffer-ms MS] [--strict] [--seconds S]
//   output_latency_bench --header      (the table's two header lines)
//   output_latency_bench --gaps FILE   (the breaks in the tone of a kept capture)
//
// It plays a steady tone on the left channel for S seconds of output (10 by
// default; counted in captured frames, not wall time, since Wine's device
// may play faster than real time) and, every 250 ms of output, a click on
// the otherwise silent right channel. Just before each click's play() it
// notes how many frames the capture file holds; the click's first frame in
// the capture minus that count is its latency. Afterwards it reads the
// whole capture and follows the tone frame by frame: the tone is a sine of
// 109 cycles in 12000 frames, so any 64 frames of it tell its position
// within those 12000, and a stretch of silence, lost or repeated tone shows
// as a break in that position.
#include <windows.h>

#include <mfapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cantrelle.h"
#include "capture_file.h"

namespace {

using bench::CaptureSize;
using bench::kCaptureRate;
using bench::readCapture;

constexpr uint32_t kToneFrames = 12000;        // one loop of the tone
constexpr uint32_t kToneCycles = 109;          // coprime with kToneFrames: no shorter repeat
constexpr float kToneLevel = 0.5f;             //
constexpr uint32_t kClickFrames = 64;          //
constexpr uint32_t kClickSpacing = 12000;      // frames of output between clicks
constexpr uint32_t kLeadIn = 9600;             // frames of output before the first click
constexpr size_t kMatchFrames = 64;            // frames that fix the tone's position (see toneSample)
constexpr int kTolerance = 2;                  // 16-bit steps: rounding of the float mix
constexpr int kBreaksListed = 20;              // on stderr; the row counts them all
constexpr size_t kResyncSearchFrames = 48000;  // how far a break may last and still be followed

struct Options {
    bool exclusive = false;
    float bufferMs = 0.0f;
    bool strict = false;
    double seconds = 10.0;
};

struct Gaps {
    int count = 0;
    size_t silentFrames = 0;  // zero frames inside the tone
    size_t brokenFrames = 0;  // other frames that are not the tone
    size_t skipped = 0;       // tone frames missing across the breaks
    size_t repeated = 0;      // tone frames played twice across the breaks
    size_t toneFrames = 0;    // captured frames from the tone's start to its end
};

void logLine(const char* line) { std::fputs(line, stderr); }

double msOf(double frames) { return frames * 1000.0 / kCaptureRate; }

// The tone's 16-bit image, as Wine's conversion of the float mix rounds it.
int16_t image(float sample) {
    const long scaled = std::lround(static_cast<double>(sample) * 32768.0);
    return static_cast<int16_t>(std::clamp(scaled, -32768L, 32767L));
}

// 109 and 12000 share no factor, so the 12000 frames of a loop are 12000
// distinct phases; the closest two (1/12000 of a cycle apart) differ by at
// least 8 steps somewhere in any 64 frames, more than twice kTolerance. The
// phase offset keeps the first frame off zero, so the tone's start shows.
float toneSample(uint32_t frame) {
    return kToneLevel *
           static_cast<float>(std::sin(2.0 * 3.14159265358979323846 * kToneCycles * frame / kToneFrames + 0.3));
}

class ToneReader {
public:
    explicit ToneReader(const std::vector<int16_t>& capture) : capture_(capture), frames_(capture.size() / 2) {
        for (uint32_t i = 0; i < kToneFrames; ++i) table_[i] = image(toneSample(i));
    }

    // Follows the tone from its first frame at or after `from` to its end.
    Gaps follow(size_t from) const {
        Gaps gaps;
        size_t frame = from;
        while (frame < frames_ && left(frame) == 0) ++frame;
        uint32_t position = 0;
        if (!findPosition(frame, &position)) return gaps;
        const size_t start = frame;
        size_t end = frame;
        while (frame < frames_) {
            if (matches(frame, position)) {
                position = (position + 1) % kToneFrames;
                end = ++frame;
                continue;
            }
            // A break: silence, then whatever is not the tone, then the tone again.
            const size_t breakAt = frame;
            while (frame < frames_ && left(frame) == 0) ++frame;
            const size_t silent = frame - breakAt;
            uint32_t resumed = 0;
            const size_t limit = std::min(frames_, frame + kResyncSearchFrames);
            while (frame < limit && !findPosition(frame, &resumed)) ++frame;
            if (frame >= limit) break;  // the tone ended (it is stopped before the output closes)
            gaps.count++;
            gaps.silentFrames += silent;
            gaps.brokenFrames += frame - breakAt - silent;
            // Steps the tone jumped over: 0 when it merely paused.
            long long jump = (static_cast<long long>(resumed) - position + kToneFrames) % kToneFrames;
            if (jump > kToneFrames / 2) jump -= kToneFrames;
            if (jump > 0) gaps.skipped += static_cast<size_t>(jump);
            if (jump < 0) gaps.repeated += static_cast<size_t>(-jump);
            if (gaps.count <= kBreaksListed) {
                std::fprintf(stderr, "break at capture frame %zu: %zu silent, %zu other, tone jumped %lld frames\n",
                             breakAt, silent, frame - breakAt - silent, jump);
            }
            position = resumed;
        }
        gaps.toneFrames = end - start;
        return gaps;
    }

private:
    int left(size_t frame) const { return capture_[2 * frame]; }

    bool matches(size_t frame, uint32_t position) const {
        return std::abs(left(frame) - table_[position]) <= kTolerance;
    }

    // The tone's position at `frame`, when the next kMatchFrames frames are
    // the tone (the sine's 12000 steps are all told apart by that many).
    bool findPosition(size_t frame, uint32_t* position) const {
        if (frame + kMatchFrames > frames_) return false;
        for (uint32_t candidate = 0; candidate < kToneFrames; ++candidate) {
            size_t i = 0;
            while (i < kMatchFrames && matches(frame + i, (candidate + i) % kToneFrames)) ++i;
            if (i == kMatchFrames) {
                *position = candidate;
                return true;
            }
        }
        return false;
    }

    const std::vector<int16_t>& capture_;
    const size_t frames_;
    int16_t table_[kToneFrames];
};

// First frame at or after `from` whose right sample sounds.
size_t firstClick(const std::vector<int16_t>& capture, size_t from) {
    for (size_t frame = from; frame < capture.size() / 2; ++frame) {
        if (capture[2 * frame + 1] != 0) return frame;
    }
    return SIZE_MAX;
}

std::string framesAndMs(double frames) {
    char text[48];
    std::snprintf(text, sizeof text, "%.0f (%.1f ms)", frames, msOf(frames));
    return text;
}

void printHeader() {
    std::printf(
        "| mode | bufferMs | strict | period | buffer | fill target | reported latency | underruns | "
        "measured median | measured max | clicks | gaps | gap frames | tone skipped / repeated | output/wall |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
}

std::string settingCells(const Options& options) {
    char text[96];
    if (options.bufferMs == 0.0f) {
        std::snprintf(text, sizeof text, "| %s | default | %s |", options.exclusive ? "exclusive" : "shared",
                      options.strict ? "on" : "off");
    } else {
        std::snprintf(text, sizeof text, "| %s | %g | %s |", options.exclusive ? "exclusive" : "shared",
                      options.bufferMs, options.strict ? "on" : "off");
    }
    return text;
}

bool parse(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--exclusive") {
            options->exclusive = true;
        } else if (arg == "--strict") {
            options->strict = true;
        } else if (arg == "--buffer-ms" && i + 1 < argc) {
            options->bufferMs = static_cast<float>(std::atof(argv[++i]));
            if (!(options->bufferMs >= 0.0f && options->bufferMs <= 2000.0f)) return false;
        } else if (arg == "--seconds" && i + 1 < argc) {
            options->seconds = std::atof(argv[++i]);
            if (!(options->seconds >= 1.0 && options->seconds <= 3600.0)) return false;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--header") == 0) {
        printHeader();
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--gaps") == 0) {
        // Follows the tone through a kept capture again, from its start.
        const std::vector<int16_t> samples = readCapture(argv[2]);
        const Gaps gaps = ToneReader(samples).follow(0);
        std::printf("%zu frames of tone; %d gaps of %zu frames; tone skipped %zu, repeated %zu frames\n",
                    gaps.toneFrames, gaps.count, gaps.silentFrames + gaps.brokenFrames, gaps.skipped, gaps.repeated);
        return gaps.toneFrames == 0 ? 1 : 0;
    }
    Options options;
    if (!parse(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: output_latency_bench [--exclusive] [--buffer-ms 0..2000] [--strict] [--seconds 1..3600]\n"
                     "       output_latency_bench --header\n"
                     "       output_latency_bench --gaps CAPTURE\n");
        return 2;
    }
    const char* capturePath = std::getenv("CANTRELLE_CAPTURE_FILE");
    if (capturePath == nullptr) {
        std::fprintf(stderr, "CANTRELLE_CAPTURE_FILE is not set: run it through scripts/wine-run.sh\n");
        return 2;
    }
    // The game's part: COM on the main thread, Media Foundation started.
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) || FAILED(MFStartup(MF_VERSION, MFSTARTUP_NOSOCKET))) {
        std::fprintf(stderr, "COM or Media Foundation failed to start\n");
        return 1;
    }
    setlogfunc(0, logLine);
    const std::string setting = settingCells(options);
    if (!initaudio(2, 0, options.exclusive ? 1 : 0, options.bufferMs, 0, 1, nullptr, nullptr, nullptr,
                   options.strict)) {
        std::printf("%s output failed to open (see the log) | | | | | | | | | | | |\n", setting.c_str());
        return 1;
    }
    CantrelleOutputInfo opened{};
    opened.size = sizeof opened;
    if (!getoutputinfo(&opened) || opened.frameRate != kCaptureRate) {
        std::printf("%s output opened at %u Hz, not the capture's %u | | | | | | | | | | | |\n", setting.c_str(),
                    opened.frameRate, kCaptureRate);
        freeaudio();
        return 1;
    }

    std::vector<float> tone(2 * kToneFrames, 0.0f);  // left only
    for (uint32_t i = 0; i < kToneFrames; ++i) tone[2 * i] = toneSample(i);
    std::vector<float> click(2 * kClickFrames, 0.0f);  // right only
    for (uint32_t i = 0; i < kClickFrames; ++i) click[2 * i + 1] = 0.5f;
    const int32_t toneId =
        loadfloat(tone.data(), static_cast<uint32_t>(tone.size()), 2, kCaptureRate, 0, 1.0f, 0.0f, 0, "tone");
    const int32_t clickId =
        loadfloat(click.data(), static_cast<uint32_t>(click.size()), 2, kCaptureRate, 2, 1.0f, 0.0f, 0, "click");
    if (toneId < 0 || clickId < 0) {
        std::printf("%s loading failed | | | | | | | | | | | |\n", setting.c_str());
        freeaudio();
        return 1;
    }
    setloop(static_cast<uint32_t>(toneId), 1);

    CaptureSize capture(capturePath);
    const size_t toneFrom = capture.frames();
    capture.markStart();
    play(static_cast<uint32_t>(toneId));
    const DWORD wallStart = GetTickCount();
    const size_t runFrames = static_cast<size_t>(options.seconds * kCaptureRate);
    // A device that stops playing ends the run rather than hang it.
    const DWORD wallLimit = static_cast<DWORD>(options.seconds * 4000.0) + 10000;
    auto waitUntil = [&](size_t frames) {
        while (capture.frames() < frames) {
            if (GetTickCount() - wallStart > wallLimit) return false;
            tick();
            Sleep(1);
        }
        return true;
    };

    // Each click starts after a wait of 0 to 29 ms, so the starts fall at
    // every point of the capture's cycle of writes rather than just after one.
    std::vector<size_t> clickFrom;
    uint32_t random = 12345;
    bool stalled = !waitUntil(toneFrom + kLeadIn);
    while (!stalled && capture.frames() + kClickSpacing < toneFrom + runFrames) {
        random = random * 1664525u + 1013904223u;
        Sleep((random >> 16) % 30);
        const size_t from = capture.frames();
        play(static_cast<uint32_t>(clickId));
        clickFrom.push_back(from);
        stalled = !waitUntil(from + kClickSpacing);
    }
    if (!stalled) stalled = !waitUntil(toneFrom + runFrames);
    const DWORD wallMs = GetTickCount() - wallStart;
    const size_t playedFrames = capture.frames() - toneFrom;
    // The tone stops, and the output plays on long enough to hand the end
    // of it to the capture.
    stop(static_cast<uint32_t>(toneId));
    waitUntil(capture.frames() + 2 * opened.bufferFrames + 9600);
    CantrelleOutputInfo info{};
    info.size = sizeof info;
    getoutputinfo(&info);
    freeaudio();

    capture.printSteps();
    const std::vector<int16_t> samples = readCapture(capturePath);
    std::vector<double> latencies;
    size_t searchFrom = 0;
    int lost = 0;
    for (const size_t from : clickFrom) {
        const size_t at = firstClick(samples, std::max(from, searchFrom));
        if (at == SIZE_MAX) {
            lost++;
            continue;
        }
        latencies.push_back(static_cast<double>(at - from));
        std::fprintf(stderr, "click from capture frame %zu: first heard at %zu, %zu frames later\n", from, at,
                     at - from);
        searchFrom = at + kClickFrames;
    }
    std::sort(latencies.begin(), latencies.end());
    const Gaps gaps = ToneReader(samples).follow(toneFrom);
    if (!latencies.empty()) {
        std::fprintf(stderr, "click latency in frames: min %.0f, median %.0f, max %.0f over %zu clicks\n",
                     latencies.front(), latencies[latencies.size() / 2], latencies.back(), latencies.size());
    }
    std::fprintf(stderr, "tone: %zu frames followed; %zu frames captured after play in %lu ms of wall time%s\n",
                 gaps.toneFrames, playedFrames, static_cast<unsigned long>(wallMs),
                 stalled ? " (the device stopped playing)" : "");

    const double median = latencies.empty() ? 0.0 : latencies[latencies.size() / 2];
    const double worst = latencies.empty() ? 0.0 : latencies.back();
    char clicks[32];
    if (lost > 0) {
        std::snprintf(clicks, sizeof clicks, "%zu (%d lost)", latencies.size(), lost);
    } else {
        std::snprintf(clicks, sizeof clicks, "%zu", latencies.size());
    }
    std::printf(
        "%s %u | %u | %u | %s | %llu | %s | %s | %s | %d | %zu | %zu / %zu | %.2f |\n", setting.c_str(),
        info.devicePeriodFrames, info.bufferFrames, info.fillTargetFrames, framesAndMs(info.latencyFrames).c_str(),
        static_cast<unsigned long long>(info.underruns), latencies.empty() ? "-" : framesAndMs(median).c_str(),
        latencies.empty() ? "-" : framesAndMs(worst).c_str(), clicks, gaps.count, gaps.silentFrames + gaps.brokenFrames,
        gaps.skipped, gaps.repeated, wallMs > 0 ? playedFrames * 1000.0 / kCaptureRate / wallMs : 0.0);
    MFShutdown();
    CoUninitialize();
    return stalled || gaps.toneFrames == 0 ? 1 : 0;
}
