// The WASAPI output through the exports of the loaded DLL, on Wine's audio
// stack, whose ALSA device writes what it plays to the capture file
// (interleaved 16-bit stereo at 48000 Hz). Every check counts frames in the
// capture, never wall time: Wine plays faster than real time here.
#include <windows.h>

#include <mfapi.h>

#include <gmock/gmock.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "loaded_library.h"

namespace cltest {
namespace {

using testing::Contains;
using testing::HasSubstr;

constexpr double kForever = std::numeric_limits<double>::infinity();

// The capture as 16-bit samples, read while the device writes to it.
std::vector<int16_t> readCapture() {
    std::vector<int16_t> samples;
    const char* path = std::getenv("CANTRELLE_CAPTURE_FILE");
    if (path == nullptr) return samples;
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return samples;
    int16_t block[4096];
    size_t got;
    while ((got = std::fread(block, sizeof(int16_t), 4096, file)) > 0)
        samples.insert(samples.end(), block, block + got);
    std::fclose(file);
    samples.resize(samples.size() & ~size_t{1});  // whole frames
    return samples;
}

size_t capturedFrames() { return readCapture().size() / 2; }

// The 16-bit image of a sample of the float mix: Wine's device format is
// float, and its conversion for the 16-bit capture scales by 32768 and
// rounds. Checks allow one step for the rounding.
int16_t image(float sample) {
    const long scaled = std::lround(static_cast<double>(sample) * 32768.0);
    return static_cast<int16_t>(scaled > 32767 ? 32767 : scaled < -32768 ? -32768 : scaled);
}

class AudioOutput : public LoadedCantrelle {
protected:
    // The game owns COM and Media Foundation.
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        ASSERT_TRUE(SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_NOSOCKET)));
        LoadedCantrelle::SetUp();
    }
    void TearDown() override {
        LoadedCantrelle::TearDown();
        MFShutdown();
        CoUninitialize();
    }

    bool open(bool exclusive = false) {
        exclusiveMs_ = sharedMs_ = -1.0f;
        return cl.initaudio(0, 0, exclusive ? 1 : 0, 0.0f, 0, 1, &exclusiveMs_, &sharedMs_, nullptr, false);
    }

    // Waits until the device has played `frames` frames past `from`. The
    // device runs on its own; this only bounds how long a broken output
    // may keep the test waiting.
    size_t waitForFrames(size_t from, size_t frames) {
        const DWORD start = GetTickCount();
        size_t now = capturedFrames();
        while (now < from + frames && GetTickCount() - start < 60000) {
            Sleep(5);
            now = capturedFrames();
        }
        EXPECT_GE(now, from + frames) << "the device stopped playing";
        return now;
    }

    // First frame at or after `from` whose left sample is not silent.
    static size_t firstSound(const std::vector<int16_t>& capture, size_t from) {
        for (size_t frame = from; frame < capture.size() / 2; ++frame) {
            if (capture[2 * frame] != 0) return frame;
        }
        return SIZE_MAX;
    }

    int32_t loadStereo(const std::vector<float>& samples, uint32_t rate = 48000, float speed = 1.0f) {
        return cl.loadfloat(samples.data(), static_cast<uint32_t>(samples.size()), 2, rate, 0, speed, 0.0f, false,
                            nullptr);
    }

    float exclusiveMs_ = 0, sharedMs_ = 0;
};

// A sound whose every sample is distinct from silence: left in [0.1, 0.9),
// right its negative.
std::vector<float> pattern(uint32_t frames) {
    std::vector<float> samples(frames * 2);
    for (uint32_t i = 0; i < frames; ++i) {
        samples[2 * i] = 0.1f + 0.8f * static_cast<float>((i * 7919u) % 1000u) / 1000.0f;
        samples[2 * i + 1] = -samples[2 * i];
    }
    return samples;
}

std::vector<std::string> devices;
void recordDevice(int32_t provider, const char* id, const char* name) {
    devices.push_back(std::to_string(provider) + "|" + id + "|" + name);
}

TEST_F(AudioOutput, TheEndpointIsListedAndOpensByItsId) {
    devices.clear();
    cl.enumaudiodevices(recordDevice);
    ASSERT_EQ(devices.size(), 1u) << "Wine shows one render endpoint";
    const std::string& entry = devices[0];
    const size_t bar = entry.find('|', 2);
    const std::string id = entry.substr(2, bar - 2);
    EXPECT_EQ(entry.substr(0, 2), "2|");
    EXPECT_EQ(id.front(), '{');
    EXPECT_GT(entry.size(), bar + 1) << "the endpoint has a name";
    EXPECT_THAT(logged(), testing::IsEmpty());

    ASSERT_TRUE(cl.initaudio(2, 0, 0, 0.0f, 0, 0, nullptr, nullptr, id.c_str(), false));
    cl.freeaudio();
}

TEST_F(AudioOutput, SharedAndExclusiveOpenAndReportTheirDefaults) {
    for (bool exclusive : {false, true}) {
        ASSERT_TRUE(open(exclusive)) << testing::PrintToString(logged());
        const std::vector<std::string> lines = logged();
        std::string defaults;
        for (const std::string& line : lines) {
            if (line.find("Default settings:") != std::string::npos) defaults = line;
            std::printf("%s", line.c_str());  // the figures of this Wine
        }
        char expected[128];
        std::snprintf(expected, sizeof expected, "Default settings: shared=%.1fms, exclusive=%.1fms", sharedMs_,
                      exclusiveMs_);
        EXPECT_THAT(defaults, HasSubstr(expected));
        EXPECT_GT(sharedMs_, 0.0f);
        EXPECT_GT(exclusiveMs_, 0.0f);
        EXPECT_FALSE(cl.audioneedsreinit());
        const size_t from = capturedFrames();
        waitForFrames(from, 4800);  // it plays
        cl.freeaudio();
    }
}

// What Wine's device reports: a 10 ms period, float stereo at 48000 shared,
// and an exclusive buffer of 3840 frames (eight periods).
TEST_F(AudioOutput, OutputInfoAnswersWhatTheDeviceReports) {
    for (bool exclusive : {false, true}) {
        ASSERT_TRUE(open(exclusive));
        const size_t from = capturedFrames();
        waitForFrames(from, 4800);  // it plays
        CantrelleOutputInfo info{};
        info.size = sizeof info;
        ASSERT_TRUE(cl.getoutputinfo(&info)) << testing::PrintToString(logged());
        std::printf(
            "%s: format %u, %u Hz, %u channels, period %u, buffer %u, fill target %u, latency %u, "
            "underruns %llu\n",
            exclusive ? "exclusive" : "shared", info.sampleFormat, info.frameRate, info.channels,
            info.devicePeriodFrames, info.bufferFrames, info.fillTargetFrames, info.latencyFrames,
            static_cast<unsigned long long>(info.underruns));
        EXPECT_EQ(info.size, sizeof info);
        EXPECT_EQ(info.provider, 2u);
        EXPECT_EQ(info.exclusive, exclusive ? 1u : 0u);
        EXPECT_EQ(info.frameRate, 48000u);
        EXPECT_EQ(info.channels, 2u);
        EXPECT_EQ(info.devicePeriodFrames, 480u);
        if (exclusive) {
            EXPECT_EQ(info.bufferFrames, 3840u);
        } else {
            EXPECT_EQ(info.sampleFormat, 6u);
        }
        EXPECT_EQ(info.fillTargetFrames, info.bufferFrames);  // not strict: the whole buffer
        EXPECT_GE(info.latencyFrames, info.fillTargetFrames);
        cl.freeaudio();
        EXPECT_FALSE(cl.getoutputinfo(&info));
        EXPECT_THAT(logged(), Contains(logLine("Failed to get output info (audio not initialised)")));
    }
}

// The heard clock on a real device: it trails the mixed clock by what the
// device still holds, moves between the device's reports, and never runs
// backwards; with the output closed the engine clock stands in.
TEST_F(AudioOutput, TheHeardClockTrailsTheMixAndNeverRunsBackwards) {
    for (bool exclusive : {false, true}) {
        ASSERT_TRUE(open(exclusive));
        CantrelleOutputInfo info{};
        info.size = sizeof info;
        ASSERT_TRUE(cl.getoutputinfo(&info));
        cl.startclock();
        // A second of output: the fit has found the device's rate (Wine's
        // exclusive device plays four times as fast as real time).
        waitForFrames(capturedFrames(), 48000);
        const double first = cl.getheardclock();
        double last = first;
        int steps = 0, backwards = 0;
        for (int read = 0; read < 20000; ++read) {
            const double heard = cl.getheardclock();
            const double mixed = cl.getclock();
            backwards += heard < last;
            steps += heard > last;
            // What the device holds, with room for a mix that runs ahead in
            // steps of a few periods.
            EXPECT_LE(heard, mixed + 1e-9);
            EXPECT_LT(mixed - heard, 2.0 * info.latencyFrames / 48000.0) << "read " << read;
            last = heard;
            if (HasFailure()) break;
        }
        EXPECT_EQ(backwards, 0);
        EXPECT_GT(last, first);
        EXPECT_GT(steps, 100) << "the heard clock moved only at the device's reports";
        cl.freeaudio();
        EXPECT_EQ(cl.getheardclock(), cl.getclock());
        cl.stopclock();
    }
}

TEST_F(AudioOutput, APlayedSoundAppearsSampleForSample) {
    for (bool exclusive : {false, true}) {
        ASSERT_TRUE(open(exclusive));
        const std::vector<float> samples = pattern(4800);
        const int32_t id = loadStereo(samples);
        ASSERT_GE(id, 0);
        const size_t from = capturedFrames();
        cl.play(static_cast<uint32_t>(id));
        waitForFrames(from, 48000);
        cl.freeaudio();

        const std::vector<int16_t> capture = readCapture();
        const size_t start = firstSound(capture, from);
        ASSERT_NE(start, SIZE_MAX) << "nothing played";
        ASSERT_LE((start + 4800) * 2, capture.size());
        int mismatches = 0;
        for (size_t i = 0; i < 4800 * 2; ++i) {
            if (std::abs(capture[start * 2 + i] - image(samples[i])) > 1 && ++mismatches < 5) {
                ADD_FAILURE() << "sample " << i << ": " << capture[start * 2 + i] << " for " << samples[i];
            }
        }
        EXPECT_EQ(mismatches, 0) << (exclusive ? "exclusive" : "shared");
        EXPECT_EQ(capture[(start + 4800) * 2], 0) << "silence after the sound";
        cl.unload(static_cast<uint32_t>(id));
    }
}

TEST_F(AudioOutput, SoundsScheduledAQuarterSecondApartStartTwelveThousandFramesApart) {
    ASSERT_TRUE(open());
    const int32_t first = loadStereo(std::vector<float>(200, 0.5f));
    const int32_t second = loadStereo(std::vector<float>(200, 0.25f));
    const size_t from = capturedFrames();
    cl.startclock();
    cl.scheduleclock(static_cast<uint32_t>(first), 0.5, kForever);
    cl.scheduleclock(static_cast<uint32_t>(second), 0.75, kForever);
    waitForFrames(from, 96000);
    cl.freeaudio();

    const std::vector<int16_t> capture = readCapture();
    const size_t firstStart = firstSound(capture, from);
    ASSERT_NE(firstStart, SIZE_MAX);
    EXPECT_NEAR(capture[2 * firstStart], image(0.5f), 1);
    const size_t secondStart = firstSound(capture, firstStart + 100);
    ASSERT_NE(secondStart, SIZE_MAX);
    EXPECT_NEAR(capture[2 * secondStart], image(0.25f), 1);
    EXPECT_EQ(secondStart - firstStart, 12000u);
}

TEST_F(AudioOutput, PauseGivesSilenceAndUnpauseResumes) {
    ASSERT_TRUE(open());
    const int32_t id = loadStereo(std::vector<float>(48000 * 2 * 10, 0.25f));  // ten seconds
    cl.play(static_cast<uint32_t>(id));
    const size_t playing = waitForFrames(capturedFrames(), 4800);
    ASSERT_TRUE(cl.pauseaudio());
    // What was queued before the pause still plays; then only silence.
    const size_t paused = waitForFrames(playing, 48000);
    std::vector<int16_t> capture = readCapture();
    for (size_t frame = paused - 24000; frame < paused; ++frame) ASSERT_EQ(capture[2 * frame], 0) << frame;
    EXPECT_NE(capture[2 * (playing - 1)], 0);

    cl.unpauseaudio();
    waitForFrames(paused, 48000);
    cl.freeaudio();
    capture = readCapture();
    EXPECT_NE(firstSound(capture, paused), SIZE_MAX) << "the sound went on";
}

TEST_F(AudioOutput, ReopeningKeepsSoundsIdsAndClock) {
    ASSERT_TRUE(open());
    const std::vector<float> samples = pattern(960);
    const int32_t id = loadStereo(samples);
    cl.startclock();
    waitForFrames(capturedFrames(), 4800);
    cl.freeaudio();
    const double clockAtClose = cl.getclock();
    EXPECT_GT(clockAtClose, 0.0);

    ASSERT_TRUE(open());
    EXPECT_TRUE(cl.clockrunning());
    EXPECT_GE(cl.getclock(), clockAtClose);
    const size_t from = capturedFrames();
    cl.play(static_cast<uint32_t>(id));
    waitForFrames(from, 24000);
    cl.freeaudio();
    const std::vector<int16_t> capture = readCapture();
    const size_t start = firstSound(capture, from);
    ASSERT_NE(start, SIZE_MAX);
    for (size_t i = 0; i < 960 * 2; ++i) ASSERT_NEAR(capture[start * 2 + i], image(samples[i]), 1) << i;
    EXPECT_EQ(loadStereo(samples), id + 1) << "ids go on";
}

TEST_F(AudioOutput, SleepPollingAndAStrictBufferPlayToo) {
    ASSERT_TRUE(cl.initaudio(0, 48000, 0, 5.0f, 1, 0, nullptr, nullptr, nullptr, true));
    const int32_t id = loadStereo(pattern(480));
    const size_t from = capturedFrames();
    cl.play(static_cast<uint32_t>(id));
    waitForFrames(from, 9600);
    cl.freeaudio();
    EXPECT_NE(firstSound(readCapture(), from), SIZE_MAX);
}

// A game may let go of the library with the output still open: the output
// keeps it loaded (no deadlock joining the audio thread while unloading),
// and a game that loads it again finds it open.
TEST_F(AudioOutput, UnloadingWithTheOutputOpenKeepsTheLibraryUntilItCloses) {
    ASSERT_TRUE(open());
    waitForFrames(capturedFrames(), 4800);
    const HMODULE module = GetModuleHandleW(L"Cantrelle.dll");
    ASSERT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleW(L"Cantrelle.dll"), module);
    ASSERT_EQ(LoadLibraryW(L"Cantrelle.dll"), module);
    EXPECT_FALSE(open());
    EXPECT_THAT(logged(), Contains(logLine("Audio already initialised")));
    waitForFrames(capturedFrames(), 4800);  // still playing
    cl.freeaudio();                         // the last reference is the fixture's again
}

TEST_F(AudioOutput, TheSystemResamplerConvertsWithinTheCapacity) {
    ASSERT_TRUE(open());  // 48000 frames per second on Wine
    const std::vector<float> second = pattern(44100);
    const int32_t id = loadStereo(second, 44100);
    ASSERT_GE(id, 0) << testing::PrintToString(logged());
    const double frames = cl.getlength(static_cast<uint32_t>(id)) * 48000.0;
    EXPECT_LE(frames, 48001.0);  // the capacity: expected frames plus one
    EXPECT_GT(frames, 47000.0);

    const int32_t fast = loadStereo(second, 44100, 2.0f);
    ASSERT_GE(fast, 0);
    EXPECT_NEAR(cl.getlength(static_cast<uint32_t>(fast)), cl.getlength(static_cast<uint32_t>(id)) / 2, 0.002);
    EXPECT_THAT(logged(), testing::Not(Contains(HasSubstr("Expected at most"))));
    cl.freeaudio();
}

}  // namespace
}  // namespace cltest
