#pragma once
// What the WASAPI output holds from Init to Shutdown, shared by the steps of
// opening, the audio thread and the device-change client.
#include <atomic>
#include <cstdint>
#include <memory>

#include "core/provider.h"
#include "platform/audio_services.h"

namespace cl {

class Logger;

// Writes "audio_wasapi@19d5a091:<check> failed with HRESULT <code>" (level 3).
void logCheckFailure(Logger& log, int check, int32_t result);
// The same with "last error" for Win32 calls.
void logLastErrorFailure(Logger& log, int check, uint32_t lastError);

struct WasapiState {
    std::unique_ptr<platform::DeviceEnumerator> deviceEnumerator;
    // One object: when the endpoint offers IAudioClient3, audioClient is that
    // interface too, and hasClient3 says its three calls may be made.
    std::unique_ptr<platform::AudioClient> audioClient;
    bool hasClient3 = false;
    std::unique_ptr<platform::AudioRenderClient> renderClient;
    // Null when the device offers no clock: the output plays without
    // position reports. clockFrequency: its units a second, never 0 when set.
    std::unique_ptr<platform::AudioClock> audioClock;
    uint64_t clockFrequency = 0;
    int64_t counterFrequency = 1;  // platform/counter.h's ticks a second, for the reports' time stamps
    std::unique_ptr<platform::EndpointVolume> endpointVolume;
    std::unique_ptr<platform::TimerEvent> timerEvent;
    uint32_t timerId = 0;
    std::unique_ptr<platform::AudioThread> audioThread;

    // Hand-off to the audio thread. Init writes fillTarget, the flags and
    // running = 1 before it creates the thread (creation orders them);
    // Shutdown stores running = 0 (release) and then joins, so the thread,
    // reading running with acquire after each step, never touches a client
    // that is gone.
    std::atomic<uint32_t> running{0};
    uint32_t fillTarget = 0;
    bool sleepPolling = false;
    bool useMmcss = false;

    // What getoutputinfo reports, recorded by Init (main thread) before the
    // thread exists; underruns there is not used, see below.
    OutputFigures figures;

    // Audio thread only: the last step failed and its line was logged. A
    // lost device fails every wake until the game reopens the output; one
    // line tells it, the rest would flood the log. The same for the
    // position reports, apart.
    bool stepFailing = false;
    bool positionFailing = false;
    // Audio thread only: the client was started, so an empty device buffer
    // means the device ran dry; and the frames released since the stream
    // began, the first fill included.
    bool playing = false;
    uint64_t framesWritten = 0;

    // Counted by the audio thread, read by getoutputinfo on the main thread;
    // a lone count, hence relaxed. Init zeroes it before the thread exists.
    std::atomic<uint64_t> underruns{0};

    // Set by the audio thread or the device-change client, read by the main
    // thread; a lone flag that guards no other data, hence relaxed.
    std::atomic<uint8_t> deviceLost{0};
};

}  // namespace cl
