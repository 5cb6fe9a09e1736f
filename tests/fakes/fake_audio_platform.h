#pragma once
// A scripted Windows audio system: one render endpoint whose answers a test
// sets, recording every call in order (and every release), so tests check
// both what the output asked and that it let go of everything it took.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/output_format.h"
#include "platform/audio_results.h"
#include "platform/audio_services.h"

namespace cl::test {

struct FakeEndpoint {
    std::wstring id;
    std::wstring name;
};

class FakeAudioPlatform final : public platform::AudioPlatform {
public:
    FakeAudioPlatform();

    // ---- What the test scripts -------------------------------------------

    // Answers of the call `name` (as recorded, without arguments), one per
    // call in order; once they run out the call succeeds.
    void script(const std::string& name, std::vector<int32_t> answers);
    void failAlways(const std::string& name, int32_t result);

    bool hasDevices = true;
    uint32_t timerPeriodMin = 1;
    std::vector<FakeEndpoint> endpoints{{L"{0.0.0.00000000}.{fake-speakers}", L"Speakers (Fake Audio)"}};
    bool offersClient3 = true;
    std::vector<uint8_t> mixFormat;     // default: float stereo 48000, extensible
    std::vector<uint8_t> deviceFormat;  // default: 16-bit stereo 48000, extensible
    // Which formats IsFormatSupported takes (S_OK); default: the two above.
    std::function<int32_t(bool exclusive, const platform::WaveFormat&)> formatAnswer;
    int64_t defaultPeriod = 100000;  // 10 ms
    int64_t minimumPeriod = 30000;   // 3 ms
    platform::EnginePeriods enginePeriods{480, 48, 48, 480};
    uint32_t currentEnginePeriod = 144;
    uint32_t bufferFrames = 1920;
    int64_t streamLatency = 20000;  // 2 ms
    // The device's clock: its units a second (bytes of the float stereo mix
    // format, as shared mode counts them), and what GetPosition answers.
    uint64_t clockFrequency = 384000;
    uint64_t clockPosition = 0;
    uint64_t clockQpcPosition = 0;
    // Padding answers in order; then `padding`.
    std::deque<uint32_t> paddings;
    uint32_t padding = 0;
    // Called at every wait of the audio thread (after it was counted).
    std::function<void()> onWait;
    // A timer that never signals its event: each wait on it lasts its whole
    // time-out (an unbounded wait never ends).
    bool timerNeverSignalled = false;
    // Run the audio thread's body on a real thread (joined by Shutdown); off,
    // the body is kept in threadBody and never runs unless a test runs it.
    bool realThreads = false;
    std::function<void()> threadBody;

    // ---- What the test reads ---------------------------------------------

    std::vector<std::string> calls() const;
    size_t count(const std::string& call) const;
    void clearCalls();
    int liveObjects() const { return live_.load(); }
    // Every format IsFormatSupported was asked about, with the mode.
    std::vector<std::pair<bool, platform::WaveFormat>> formatQueries;
    std::vector<uint8_t> deviceBuffer;  // what GetBuffer handed out last
    platform::DeviceChangeListener* listener = nullptr;
    int waits = 0;

    // ---- Plumbing for the fake objects -------------------------------------

    int32_t answer(const std::string& name, const std::string& args = "");
    void record(const std::string& call);
    void created() { ++live_; }
    void released(const std::string& what);

    // ---- platform::AudioPlatform -------------------------------------------

    bool hasAudioDevices() const override { return hasDevices; }
    uint32_t timeGetDevCaps(uint32_t* periodMin, uint32_t* periodMax) override;
    void timeBeginPeriod(uint32_t period) override;
    void timeEndPeriod(uint32_t period) override;
    uint32_t createTimerEvent(std::unique_ptr<platform::TimerEvent>* event) override;
    uint32_t timeSetEvent(uint32_t delayMs, platform::TimerEvent& event, uint32_t* timerId) override;
    void timeKillEvent(uint32_t timerId) override;
    uint32_t createThread(std::function<void()> body, std::unique_ptr<platform::AudioThread>* thread) override;
    uint32_t joinProAudioTask() override;
    uint32_t raiseToTimeCritical() override;
    void waitForTimer(platform::TimerEvent& event, uint32_t timeoutMs) override;
    void sleep(uint32_t ms) override;
    int32_t createDeviceEnumerator(std::unique_ptr<platform::DeviceEnumerator>* enumerator) override;
    int32_t createResampler(std::unique_ptr<platform::SampleRateTransform>* transform) override;
    int32_t guidText(const platform::Guid& guid, std::wstring* text) override;
    uint32_t utf8ToWide(const char* text, std::wstring* wide) override;
    uint32_t wideToUtf8(const wchar_t* text, std::string* utf8) override;

    // The transform createResampler hands out: output in passes of this many
    // bytes, `outputBytes` in all (default: exactly the capacity's frames).
    std::function<std::vector<uint8_t>(const std::vector<uint8_t>& input, uint32_t from, uint32_t to)> convert;
    size_t passBytes = 1 << 20;

private:
    mutable std::mutex mutex_;
    std::mutex timerMutex_;
    std::condition_variable timerSignal_;  // never notified
    std::vector<std::string> calls_;
    std::map<std::string, std::deque<int32_t>> answers_;
    std::map<std::string, int32_t> always_;
    std::atomic<int> live_{0};
};

// A format as a device reports it.
platform::WaveFormat extensibleFormat(SampleFormat format, uint32_t rate, uint32_t channelMask);
std::vector<uint8_t> formatBytes(const platform::WaveFormat& format);

}  // namespace cl::test
