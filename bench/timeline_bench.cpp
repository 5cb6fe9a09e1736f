// Sound and input on one timeline, through the real Cantrelle.dll and only
// its C interface, with WASAPI output open and the clock running. A Windows
// program run by hand under Wine through scripts/wine-run.sh, whose ALSA file
// device keeps what it played; not a test. bench/timeline.sh runs it for
// each output setting and gathers the tables.
//
//   timeline_bench [--buffer-ms MS] [--strict] [--presses N] [--reads N] [--seconds S]
//   timeline_bench --header        (the three tables' header lines)
//
// It measures, in this order:
//
// capture: how far getheardclock() lies from what the device had written to
//   the capture when it was read. Clicks scheduled once a second of clock
//   tie capture frames to clock time: a click scheduled at T found at
//   capture frame C puts frame F at T + (F - C) / 48000. At random moments
//   30 to 70 ms apart for S seconds (10) of wall time it reads the capture's
//   frame count N, getheardclock() and getclock(); heard minus the clock
//   time of frame N is positive when the heard clock is ahead of what was
//   written. ALSA's file device holds the newest frames back until more
//   come (the frames it writes when it closes say how many): "taken" counts
//   them in, as what the device had taken. getclock() minus the clock time
//   of frame N is the latency from mix to capture, beside getoutputinfo's
//   latencyFrames.
// presses: N (300) key presses per input mode, sent with SendInput from a
//   thread of their own at random intervals of 60 to 140 ms while the main
//   thread runs the game loop: safe input with frames of 16 and of 50 ms
//   (unlockinput, lockinput, tick, sleep the rest of the frame), and direct
//   delivery (safe input off, frames of 16 ms). A press's error is
//   getinputtime() in its callback minus getheardclock() read on the sending
//   thread just before its SendInput. Each press has the next of 26 letter
//   keys, so a press lost or delivered out of order shows.
// steps: two threads read getheardclock() N (500000) times each, as fast as
//   they can, while the main thread ticks: the step from each read to the
//   next, backward steps, and the most heard time per wall time between two
//   reads (bounded by the counter before the first and after the second).
//
// Times are in milliseconds of the heard clock (engine clock seconds). Under
// Wine the file device plays faster than real time (output/wall in the
// capture row; see docs/guide.md), so a wall-clock delay shows that many
// times larger on the heard clock.
#include <windows.h>

#include <mfapi.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "cantrelle.h"
#include "capture_file.h"
#include "send_key.h"

namespace {

using bench::CaptureSize;
using bench::kCaptureRate;

constexpr uint32_t kClickFrames = 64;
constexpr double kClickSpacing = 1.0;  // seconds of clock between clicks
constexpr int kKeys = 26;              // 'A' to 'Z', in turn
constexpr int kHoldMs = 20;            // from a key's press to its release
constexpr size_t kMaxPresses = 100000;

struct Options {
    float bufferMs = 0.0f;
    bool strict = false;
    int presses = 300;
    int reads = 500000;
    double seconds = 10.0;
};

void logLine(const char* line) { std::fputs(line, stderr); }

int64_t counterNow() {
    LARGE_INTEGER ticks;
    QueryPerformanceCounter(&ticks);
    return ticks.QuadPart;
}

double counterFrequency() {
    static const double frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return static_cast<double>(value.QuadPart);
    }();
    return frequency;
}

double counterSeconds(int64_t ticks) { return static_cast<double>(ticks) / counterFrequency(); }
int64_t counterTicks(double seconds) { return static_cast<int64_t>(seconds * counterFrequency()); }

// Sleeps until `deadline` (counter ticks): the rest of a game frame.
// Sleep(n) may come back late, never early.
void sleepUntil(int64_t deadline) {
    for (;;) {
        const double left = counterSeconds(deadline - counterNow());
        if (left <= 0.0) return;
        Sleep(static_cast<DWORD>(std::max(1.0, std::floor(left * 1000.0))));
    }
}

struct Spread {
    size_t count = 0;
    double median = 0.0, p99 = 0.0, min = 0.0, max = 0.0;
};

Spread spreadOf(std::vector<double> values) {
    Spread spread;
    if (values.empty()) return spread;
    std::sort(values.begin(), values.end());
    const auto at = [&](double quantile) { return values[static_cast<size_t>(quantile * (values.size() - 1))]; };
    spread.count = values.size();
    spread.median = at(0.5);
    spread.p99 = at(0.99);
    spread.min = values.front();
    spread.max = values.back();
    return spread;
}

std::string settingName(const Options& options) {
    char text[64];
    if (options.bufferMs == 0.0f) {
        std::snprintf(text, sizeof text, "shared default%s", options.strict ? " strict" : "");
    } else {
        std::snprintf(text, sizeof text, "shared %g ms%s", options.bufferMs, options.strict ? " strict" : "");
    }
    return text;
}

// ---- capture -------------------------------------------------------------

struct CaptureRead {
    size_t frames;  // in the capture, unchanged across the read
    double heard;   // getheardclock()
    double clock;   // getclock()
    double wall;    // seconds since the run began
};

struct ClickAt {
    double clock;    // scheduled clock time
    size_t capture;  // first frame in the capture, SIZE_MAX when not found
};

// Finds each click's first frame (the capture is silent but for them), in
// order, each after the one before.
void findClicks(const std::vector<int16_t>& samples, std::vector<ClickAt>* clicks) {
    size_t frame = 0;
    const size_t frames = samples.size() / 2;
    for (ClickAt& click : *clicks) {
        while (frame < frames && samples[2 * frame] == 0 && samples[2 * frame + 1] == 0) ++frame;
        if (frame >= frames) break;
        click.capture = frame;
        frame += kClickFrames;
    }
}

// Capture frames a click lies from where its schedule puts it, counting
// from clock time 0: the same for every click unless the device inserted or
// dropped frames between them.
double offsetOf(const ClickAt& click) { return static_cast<double>(click.capture) - click.clock * kCaptureRate; }

// The clock time of capture frame `frame`, from the last click found at or
// before it (the first click when none is); NaN when the clicks either side
// disagree, so that frames were inserted or dropped somewhere between them.
double clockAtFrame(const std::vector<ClickAt>& clicks, size_t frame) {
    const ClickAt* reference = nullptr;
    const ClickAt* after = nullptr;
    for (const ClickAt& click : clicks) {
        if (click.capture == SIZE_MAX) break;
        if (reference == nullptr || click.capture <= frame) {
            reference = &click;
        } else {
            after = &click;
            break;
        }
    }
    if (reference == nullptr) return NAN;
    // Half a frame: the scheduled times are sums of doubles.
    if (after != nullptr && reference->capture <= frame && std::abs(offsetOf(*after) - offsetOf(*reference)) > 0.5) {
        return NAN;
    }
    return reference->clock + (static_cast<double>(frame) - static_cast<double>(reference->capture)) / kCaptureRate;
}

// ---- presses -------------------------------------------------------------

struct Sent {
    double heard = NAN;   // getheardclock() just before the press's SendInput
    int64_t counter = 0;  // the counter then
};

struct Arrival {
    uint32_t code;
    double at;        // getinputtime()
    double heardNow;  // getheardclock() in the callback
    int64_t counter;  // the counter in the callback
};

std::vector<Arrival> arrivals(kMaxPresses);
std::atomic<size_t> arrived{0};
std::atomic<int> refusedTimes{0};  // getinputtime() not a number

void onPress(uint32_t source, uint32_t code) {
    const double at = getinputtime();
    const double heardNow = getheardclock();
    const int64_t counter = counterNow();
    if (source != 0x7FFFFFFF) return;
    if (!std::isfinite(at)) refusedTimes.fetch_add(1, std::memory_order_relaxed);
    const size_t slot = arrived.load(std::memory_order_relaxed);
    if (slot >= arrivals.size()) return;
    arrivals[slot] = {code, at, heardNow, counter};
    // Release: the slot's contents are complete before the count shows it.
    arrived.store(slot + 1, std::memory_order_release);
}

void onRelease(uint32_t, uint32_t) {}

WORD keyOf(int press) { return static_cast<WORD>('A' + press % kKeys); }

struct PressResult {
    Spread error;  // ms of heard clock
    int lost = 0;
    int outOfOrder = 0;
    int unexpected = 0;  // arrivals no press matches
    int sendFailed = 0;
};

// Pairs each arrival with the press of its key that was sent nearest to
// where the arrivals have got to: the keys repeat every 26 presses, far more
// than any delivery can lag.
PressResult matchPresses(const char* mode, const std::vector<Sent>& sent, int sendFailed, size_t arrivedCount) {
    PressResult result;
    result.sendFailed = sendFailed;
    const int sentCount = static_cast<int>(sent.size());
    std::vector<bool> matched(sent.size(), false);
    std::vector<double> errors;
    int expected = 0;  // the press the next arrival should be
    int newest = -1;   // the latest press matched so far
    for (size_t j = 0; j < arrivedCount; ++j) {
        const Arrival& arrival = arrivals[j];
        int found = -1;
        for (int i = std::max(0, expected - kKeys / 2); i < std::min(sentCount, expected + kKeys / 2); ++i) {
            if (!matched[i] && keyOf(i) == arrival.code) {
                found = i;
                break;
            }
        }
        if (found < 0) {
            result.unexpected++;
            continue;
        }
        matched[found] = true;
        if (found < newest) result.outOfOrder++;
        newest = std::max(newest, found);
        expected = newest + 1;
        const Sent& press = sent[static_cast<size_t>(found)];
        errors.push_back((arrival.at - press.heard) * 1000.0);
        std::fprintf(stderr,
                     "%s: press %d: error %.3f ms; callback %.3f ms of wall time after the send, the heard clock "
                     "there %.3f ms after the input time\n",
                     mode, found, errors.back(), counterSeconds(arrival.counter - press.counter) * 1000.0,
                     (arrival.heardNow - arrival.at) * 1000.0);
    }
    for (int i = 0; i < sentCount; ++i) {
        if (!matched[i]) result.lost++;
    }
    result.error = spreadOf(errors);
    return result;
}

PressResult measurePresses(const char* mode, bool safeInput, int frameMs, int count) {
    arrived.store(0);
    if (!initinput(1, onPress, onRelease, 0, safeInput ? 0 : 1, nullptr, nullptr, 0)) {
        PressResult failed;
        failed.lost = count;
        return failed;
    }
    std::vector<Sent> sent(static_cast<size_t>(count));
    std::atomic<bool> sending{true};
    int sendFailed = 0;
    std::thread sender([&] {
        uint32_t random = 2463534242u;
        for (int i = 0; i < count; ++i) {
            random ^= random << 13;
            random ^= random >> 17;
            random ^= random << 5;
            Sleep(60 + random % 81 - kHoldMs);
            sent[static_cast<size_t>(i)] = {getheardclock(), counterNow()};
            if (!bench::sendKey(keyOf(i), false)) sendFailed++;
            Sleep(kHoldMs);
            if (!bench::sendKey(keyOf(i), true)) sendFailed++;
        }
        sending.store(false, std::memory_order_release);
    });
    // The game loop; it runs on for a few frames after the last press, so
    // that press is delivered.
    const int64_t frameTicks = counterTicks(frameMs / 1000.0);
    int framesAfter = 0;
    int64_t frameStart = counterNow();
    while (framesAfter < 10) {
        if (!sending.load(std::memory_order_acquire)) framesAfter++;
        if (safeInput) {
            unlockinput();
            lockinput();
        }
        tick();
        frameStart += frameTicks;
        sleepUntil(frameStart);
    }
    sender.join();
    freeinput();
    return matchPresses(mode, sent, sendFailed, std::min(arrived.load(std::memory_order_acquire), arrivals.size()));
}

// ---- steps ---------------------------------------------------------------

struct Steps {
    int reads = 0;
    double meanMs = 0.0;
    double largestMs = 0.0;
    // The wall time within which the two reads of the largest step took
    // their counter values: from before the first call to after the second.
    double largestSpanMs = 0.0;
    // The most heard time per wall time over any two successive reads, each
    // step over its span: a continuous heard clock keeps it near its rate
    // (output/wall), a jump shows as far more.
    double fastest = 0.0;
    int backward = 0;
    double worstBackMs = 0.0;
    double seconds = 0.0;  // wall time of all the reads
    // Where it held still: the longest wall time over which successive reads
    // returned one value, and the steps faster than twice the wall time
    // with the hold before each (for the log).
    double longestHoldMs = 0.0;
    struct Jump {
        double stepMs, spanMs, heldMs;
    };
    std::vector<Jump> jumps;
};

Steps pollHeardClock(int reads) {
    Steps steps;
    steps.reads = reads;
    int64_t previousBefore = counterNow();
    double previous = getheardclock();
    const double first = previous;
    const int64_t start = previousBefore;
    int64_t after = previousBefore;
    int64_t heldSince = previousBefore;  // the counter before the first read of the current value
    for (int i = 0; i < reads; ++i) {
        const int64_t before = counterNow();
        const double now = getheardclock();
        after = counterNow();
        const double step = (now - previous) * 1000.0;
        const double span = counterSeconds(after - previousBefore) * 1000.0;
        if (step < 0.0) {
            steps.backward++;
            steps.worstBackMs = std::min(steps.worstBackMs, step);
        }
        if (step > steps.largestMs) {
            steps.largestMs = step;
            steps.largestSpanMs = span;
        }
        if (span > 0.0) steps.fastest = std::max(steps.fastest, step / span);
        const double held = counterSeconds(before - heldSince) * 1000.0;
        if (step == 0.0) {
            steps.longestHoldMs = std::max(steps.longestHoldMs, counterSeconds(after - heldSince) * 1000.0);
        } else {
            if (step > 2.0 * span && steps.jumps.size() < 20) steps.jumps.push_back({step, span, held});
            heldSince = before;
        }
        previous = now;
        previousBefore = before;
    }
    steps.meanMs = reads > 0 ? (previous - first) * 1000.0 / reads : 0.0;
    steps.seconds = counterSeconds(after - start);
    return steps;
}

void printHeader() {
    std::printf(
        "capture | setting | reads kept | heard − written median | min | max | heard − taken median | "
        "latencyFrames | measured latency median | click offset spread | output/wall |\n");
    std::printf("capture |---|---|---|---|---|---|---|---|---|---|\n");
    std::printf("presses | setting | mode | presses | median | p99 | max | min | lost | out of order |\n");
    std::printf("presses |---|---|---|---|---|---|---|---|---|\n");
    std::printf(
        "steps | setting | thread | reads | mean step | largest step | its wall span | fastest (heard/wall) | "
        "backward steps | reads per second |\n");
    std::printf("steps |---|---|---|---|---|---|---|---|---|\n");
}

bool parse(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--strict") {
            options->strict = true;
        } else if (arg == "--buffer-ms" && hasValue) {
            options->bufferMs = static_cast<float>(std::atof(argv[++i]));
            if (!(options->bufferMs >= 0.0f && options->bufferMs <= 2000.0f)) return false;
        } else if (arg == "--presses" && hasValue) {
            options->presses = std::atoi(argv[++i]);
            if (options->presses < 1 || options->presses > static_cast<int>(kMaxPresses)) return false;
        } else if (arg == "--reads" && hasValue) {
            options->reads = std::atoi(argv[++i]);
            if (options->reads < 1 || options->reads > 100000000) return false;
        } else if (arg == "--seconds" && hasValue) {
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
    Options options;
    if (!parse(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: timeline_bench [--buffer-ms 0..2000] [--strict] [--presses 1..%zu] [--reads N] "
                     "[--seconds 1..3600]\n       timeline_bench --header\n",
                     kMaxPresses);
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
    const std::string setting = settingName(options);
    if (!initaudio(2, 0, 0, options.bufferMs, 0, 1, nullptr, nullptr, nullptr, options.strict)) {
        std::fprintf(stderr, "%s: output failed to open (see the log)\n", setting.c_str());
        return 1;
    }
    CantrelleOutputInfo info{};
    info.size = sizeof info;
    if (!getoutputinfo(&info) || info.frameRate != kCaptureRate) {
        std::fprintf(stderr, "%s: output opened at %u Hz, not the capture's %u\n", setting.c_str(), info.frameRate,
                     kCaptureRate);
        freeaudio();
        return 1;
    }
    std::vector<float> click(2 * kClickFrames, 0.5f);
    const int32_t clickId =
        loadfloat(click.data(), static_cast<uint32_t>(click.size()), 2, kCaptureRate, 2, 1.0f, 0.0f, 0, "click");
    if (clickId < 0) {
        std::fprintf(stderr, "%s: loading failed\n", setting.c_str());
        freeaudio();
        return 1;
    }

    CaptureSize capture(capturePath);
    startclock();
    const int64_t runStart = counterNow();
    const double heardAtStart = getheardclock();
    const size_t captureAtStart = capture.frames();
    // A second for the device's position reports to settle the heard clock.
    sleepUntil(runStart + counterTicks(1.0));

    // capture: clicks from half a second of clock ahead, until well after
    // the reads end whatever Wine's output/wall ratio.
    std::vector<ClickAt> clicks;
    const double firstClick = getclock() + 0.5;
    for (double at = firstClick; at < firstClick + options.seconds * 4.0 + 2.0; at += kClickSpacing) {
        scheduleclock(static_cast<uint32_t>(clickId), at, INFINITY);
        clicks.push_back({at, SIZE_MAX});
    }
    std::vector<CaptureRead> reads;
    int readsChanged = 0;  // the capture grew during the read: dropped
    {
        // The reads fall at moments spread evenly over the device's cycle of
        // passes: Sleep wakes on the same timer ticks as Wine's device does,
        // so the last stretch to each moment is spun rather than slept.
        uint32_t random = 88172645u;
        const int64_t end = counterNow() + counterTicks(options.seconds);
        int64_t next = counterNow();
        while (next < end) {
            sleepUntil(next - counterTicks(0.003));
            while (counterNow() < next) {
            }
            const size_t before = capture.frames();
            const double heard = getheardclock();
            const double clock = getclock();
            const size_t after = capture.frames();
            if (before == after) {
                reads.push_back({before, heard, clock, counterSeconds(counterNow() - runStart)});
            } else {
                readsChanged++;
            }
            tick();
            random = random * 1664525u + 1013904223u;
            next += counterTicks(0.030 + 0.040 * (random >> 8) / 16777216.0);
        }
    }
    unschedule(static_cast<uint32_t>(clickId));

    // presses
    struct Mode {
        const char* name;
        bool safe;
        int frameMs;
    };
    const Mode modes[] = {{"safe input, 16 ms frames", true, 16},
                          {"safe input, 50 ms frames", true, 50},
                          {"direct (safe input off), 16 ms frames", false, 16}};
    std::vector<PressResult> pressResults;
    for (const Mode& mode : modes)
        pressResults.push_back(measurePresses(mode.name, mode.safe, mode.frameMs, options.presses));

    // steps
    Steps steps[2];
    {
        std::atomic<int> done{0};
        std::thread first([&] {
            steps[0] = pollHeardClock(options.reads);
            done.fetch_add(1);
        });
        std::thread second([&] {
            steps[1] = pollHeardClock(options.reads);
            done.fetch_add(1);
        });
        while (done.load() < 2) {
            tick();
            Sleep(5);
        }
        first.join();
        second.join();
    }

    const double wallSeconds = counterSeconds(counterNow() - runStart);
    const double heardSeconds = getheardclock() - heardAtStart;
    const size_t capturedFrames = capture.frames() - captureAtStart;
    CantrelleOutputInfo infoAtEnd{};
    infoAtEnd.size = sizeof infoAtEnd;
    getoutputinfo(&infoAtEnd);
    // ALSA's file device writes a frame out only once a buffer's worth has
    // come after it, and the rest when it closes: the growth at the close
    // shows how far the capture lags what the device took (within a pass).
    const size_t beforeClose = capture.frames();
    freeaudio();
    const size_t heldBack = capture.frames() - beforeClose;
    MFShutdown();
    CoUninitialize();

    // The capture, read whole once the output is closed.
    const std::vector<int16_t> samples = bench::readCapture(capturePath);
    findClicks(samples, &clicks);
    // Clicks ought to lie exactly a click spacing apart in the capture: what
    // the device inserted or dropped between them shows here.
    double offsetMin = INFINITY, offsetMax = -INFINITY;
    int clicksFound = 0;
    for (const ClickAt& found : clicks) {
        if (found.capture == SIZE_MAX) continue;
        clicksFound++;
        const double offset = offsetOf(found);
        offsetMin = std::min(offsetMin, offset);
        offsetMax = std::max(offsetMax, offset);
    }
    std::vector<double> ahead, aheadOfTaken, latency;
    int readsUnmapped = 0;  // no click, or frames inserted or dropped between the clicks around them
    for (const CaptureRead& read : reads) {
        const double written = clockAtFrame(clicks, read.frames);
        if (std::isnan(written)) {
            readsUnmapped++;
            continue;
        }
        ahead.push_back((read.heard - written) * 1000.0);
        const double taken = clockAtFrame(clicks, read.frames + heldBack);
        if (!std::isnan(taken)) aheadOfTaken.push_back((read.heard - taken) * 1000.0);
        latency.push_back((read.clock - written) * kCaptureRate);
        std::fprintf(stderr, "capture read at %.4f s: %zu frames, heard %.6f s, clock %.6f s, written %.6f s\n",
                     read.wall, read.frames, read.heard, read.clock, written);
    }
    const Spread aheadSpread = spreadOf(ahead);
    const Spread latencySpread = spreadOf(latency);
    const Spread aheadOfTakenSpread = spreadOf(aheadOfTaken);
    std::fprintf(
        stderr,
        "%s: %zu capture reads kept, %d dropped (the capture grew during the read), %d with no clock time known "
        "for the capture's end (frames inserted or dropped between the clicks around it); %d clicks found "
        "of %zu; "
        "%.1f s of wall time, heard clock advanced %.1f s, %zu frames captured; underruns %llu; %zu frames "
        "written at the close\n",
        setting.c_str(), ahead.size(), readsChanged, readsUnmapped, clicksFound, clicks.size(), wallSeconds,
        heardSeconds, capturedFrames, static_cast<unsigned long long>(infoAtEnd.underruns), heldBack);

    std::printf(
        "capture | %s | %zu | %+.2f ms | %+.2f ms | %+.2f ms | %+.2f ms | %u (%.1f ms) | %.0f (%.1f ms) | %.0f | "
        "%.2f |\n",
        setting.c_str(), aheadSpread.count, aheadSpread.median, aheadSpread.min, aheadSpread.max,
        aheadOfTakenSpread.median, info.latencyFrames, info.latencyFrames * 1000.0 / kCaptureRate, latencySpread.median,
        latencySpread.median * 1000.0 / kCaptureRate, clicksFound > 0 ? offsetMax - offsetMin : 0.0,
        wallSeconds > 0 ? capturedFrames / static_cast<double>(kCaptureRate) / wallSeconds : 0.0);
    for (size_t i = 0; i < pressResults.size(); ++i) {
        const PressResult& result = pressResults[i];
        std::printf("presses | %s | %s | %zu | %.3f ms | %.3f ms | %.3f ms | %.3f ms | %d | %d |\n", setting.c_str(),
                    modes[i].name, result.error.count, result.error.median, result.error.p99, result.error.max,
                    result.error.min, result.lost, result.outOfOrder);
        if (result.unexpected > 0 || result.sendFailed > 0) {
            std::fprintf(stderr, "%s: %d arrivals matched no press, %d SendInput calls failed\n", modes[i].name,
                         result.unexpected, result.sendFailed);
        }
    }
    if (refusedTimes.load() > 0) std::fprintf(stderr, "getinputtime() was NaN in %d callbacks\n", refusedTimes.load());
    for (int i = 0; i < 2; ++i) {
        std::fprintf(stderr, "steps, thread %d: longest hold %.3f ms of wall time\n", i + 1, steps[i].longestHoldMs);
        for (const Steps::Jump& jump : steps[i].jumps) {
            std::fprintf(stderr,
                         "steps, thread %d: a step of %.3f ms within %.3f ms of wall time, after a hold of %.3f ms\n",
                         i + 1, jump.stepMs, jump.spanMs, jump.heldMs);
        }
        std::printf("steps | %s | %d | %d | %.4f ms | %.3f ms | %.3f ms | %.2f | %d%s | %.0f |\n", setting.c_str(),
                    i + 1, steps[i].reads, steps[i].meanMs, steps[i].largestMs, steps[i].largestSpanMs,
                    steps[i].fastest, steps[i].backward,
                    steps[i].backward > 0 ? (" (worst " + std::to_string(steps[i].worstBackMs) + " ms)").c_str() : "",
                    steps[i].seconds > 0 ? steps[i].reads / steps[i].seconds : 0.0);
    }
    return 0;
}
