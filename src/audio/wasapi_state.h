#pragma once
// What the WASAPI output holds from Init to Shutdown, shared by the steps of
// opening, the audio thread and the device-change client.
#include <atomic>
#include <cstdint>
#include <memory>

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

    // Audio thread only: the last step failed and its line was logged. A
    // lost device fails every wake until the game reopens the output; one
    // line tells it, the rest would flood the log.
    bool stepFailing = false;

    // Set by the audio thread or the device-change client, read by the main
    // thread; a lone flag that guards no other data, hence relaxed.
    std::atomic<uint8_t> deviceLost{0};
};

}  // namespace cl
