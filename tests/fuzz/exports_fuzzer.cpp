// Coverage-guided fuzzing of the C interface: each input is decoded into a
// sequence of export calls with arbitrary arguments, with the mixer's render
// called in between as the audio thread would call it. After every step the
// harness checks what a game relies on; a broken check aborts, so libFuzzer
// keeps the input.
//
// Built by the fuzz preset (clang, libFuzzer, AddressSanitizer and
// UndefinedBehaviorSanitizer). CANTRELLE_FUZZ_EXPORTS_ONLY=1 in the
// environment leaves the render calls out, for comparing coverage.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "api/global_engine.h"
#include "cantrelle.h"
#include "core/output_format.h"
#include "mixer/render.h"
#include "sound/output_change.h"

namespace {

void discardLine(const char*) {}
void onInput(uint32_t, uint32_t) {}

[[noreturn]] void broken(const char* what, double value) {
    std::fprintf(stderr, "invariant broken: %s (%g)\n", what, value);
    std::abort();
}

// Floats a game could send: ordinary values and every edge.
float anyFloat(FuzzedDataProvider& input) {
    static constexpr float kEdges[] = {0.0f,
                                       -0.0f,
                                       1.0f,
                                       -1.0f,
                                       0.5f,
                                       2.0f,
                                       1e-40f,  // denormal
                                       1e30f,
                                       -1e30f,
                                       std::numeric_limits<float>::max(),
                                       std::numeric_limits<float>::infinity(),
                                       -std::numeric_limits<float>::infinity(),
                                       std::numeric_limits<float>::quiet_NaN()};
    if (input.ConsumeBool()) return input.PickValueInArray(kEdges);
    return input.ConsumeFloatingPointInRange<float>(-100.0f, 100.0f);
}

double anyDouble(FuzzedDataProvider& input) {
    static constexpr double kEdges[] = {0.0,
                                        -0.0,
                                        0.01,
                                        1.0,
                                        -1.0,
                                        1e300,
                                        -1e300,
                                        9.3e18,  // beyond INT64_MAX frames at any rate
                                        std::numeric_limits<double>::infinity(),
                                        -std::numeric_limits<double>::infinity(),
                                        std::numeric_limits<double>::quiet_NaN()};
    if (input.ConsumeBool()) return input.PickValueInArray(kEdges);
    return input.ConsumeFloatingPointInRange<double>(-2.0, 10.0);
}

class Session {
public:
    explicit Session(FuzzedDataProvider& input, bool render) : input_(input), render_(render) {}

    void run() {
        while (input_.remaining_bytes() > 0) {
            step();
            check();
        }
    }

    // Brings the library's one engine back to where every input starts:
    // output closed, sounds unloaded and released, clock stopped, no pause.
    static void reset() {
        setlogfunc(0, discardLine);
        unlockinput();
        freeinput();
        if (cl::engine().audio.audioInitialised.load()) freeaudio();
        initaudio(1, 48000, 0, 0.0f, 0, 0, nullptr, nullptr, nullptr, false);  // the null output
        const uint32_t first = cl::engine().sounds.firstSoundId();
        const uint32_t count = cl::engine().sounds.soundCount();
        for (uint32_t id = first; id < first + count; ++id) unload(id);
        pauseaudio();  // nothing renders: the unloaded records are released
        unpauseaudio();
        unpausegameaudio();
        stopclock();
        setlimiterthreshold(0.0f);
        setlimiterrelease(0.0f);
        for (auto set : {setglobalvolume, setmusicvolume, setsfxvolume, setmenuvolume}) set(1.0f);
    }

private:
    uint32_t anyId() {
        if (ids_.empty() || input_.ConsumeIntegralInRange(0, 9) == 0) return input_.ConsumeIntegral<uint32_t>();
        return ids_[input_.ConsumeIntegralInRange<size_t>(0, ids_.size() - 1)];
    }

    void load() {
        const auto channels = input_.ConsumeIntegralInRange<uint32_t>(0, 3);
        const uint32_t frequency = input_.ConsumeBool() ? 48000 : input_.ConsumeIntegralInRange<uint32_t>(0, 200000);
        const auto bus = input_.ConsumeIntegralInRange<uint32_t>(0, 5);
        const float speed = input_.ConsumeBool() ? 1.0f : anyFloat(input_);
        const float semitones = input_.ConsumeBool() ? 0.0f : anyFloat(input_);
        std::vector<float> samples(input_.ConsumeIntegralInRange<size_t>(0, 600));
        for (float& sample : samples) sample = input_.ConsumeBool() ? anyFloat(input_) : 0.25f;
        const std::string name = input_.ConsumeRandomLengthString(16);
        const int32_t id =
            loadfloat(samples.data(), static_cast<uint32_t>(samples.size()), channels, frequency, bus, speed, semitones,
                      input_.ConsumeBool(), input_.ConsumeBool() ? name.c_str() : nullptr);
        if (id >= 0) ids_.push_back(static_cast<uint32_t>(id));
    }

    void renderSome() {
        const cl::OutputFormat& output = cl::engine().output;
        const uint32_t frameBytes = output.outputChannels.load() * cl::bytesPerSample(output.outputFormat.load());
        const auto frames = input_.ConsumeIntegralInRange<uint32_t>(0, 1100);
        std::vector<uint8_t> buffer(static_cast<size_t>(frames) * frameBytes + 1, 0xEE);
        uint32_t left = frames;
        uint8_t* out = buffer.data();
        while (left > 0) {
            uint8_t* next = nullptr;
            uint32_t done = 0;
            if (cl::renderBuffer(cl::engine(), out, left, &next, &done) == cl::RenderResult::Silent) break;
            if (done == 0 || done > left || next != out + static_cast<size_t>(done) * frameBytes) {
                broken("frames rendered", done);
            }
            if (output.outputFormat.load() == cl::SampleFormat::Float32) {
                for (uint32_t i = 0; i < done * output.outputChannels.load(); ++i) {
                    float sample;
                    std::memcpy(&sample, out + 4 * static_cast<size_t>(i), 4);
                    if (!(std::fabs(sample) <= 1.0f)) broken("output sample within full scale", sample);
                }
            }
            out = next;
            left -= done;
        }
        if (buffer.back() != 0xEE) broken("render wrote past its frames", buffer.back());
    }

    void setFormat() {
        static constexpr cl::SampleFormat kFormats[] = {cl::SampleFormat::Pcm8,        cl::SampleFormat::Pcm16,
                                                        cl::SampleFormat::Pcm24Padded, cl::SampleFormat::Pcm24Tight,
                                                        cl::SampleFormat::Pcm32,       cl::SampleFormat::Float32};
        // What an output's Init does; nothing renders meanwhile here.
        cl::setOutputFormat(cl::engine(), input_.PickValueInArray(kFormats),
                            input_.ConsumeIntegralInRange<uint32_t>(1, 200000),
                            input_.ConsumeIntegralInRange<uint32_t>(1, 8));
    }

    void step() {
        switch (input_.ConsumeIntegralInRange(0, 31)) {
            case 0: load(); break;
            case 1: play(anyId()); break;
            case 2: playfrom(anyId(), anyDouble(input_)); break;
            case 3: stop(anyId()); break;
            case 4: setposition(anyId(), anyDouble(input_)); break;
            case 5: setgain(anyId(), anyFloat(input_)); break;
            case 6: setvolume(anyId(), anyFloat(input_)); break;
            case 7: setfade(anyId(), anyFloat(input_)); break;
            case 8: setpan(anyId(), anyFloat(input_)); break;
            case 9: setloop(anyId(), input_.ConsumeIntegral<int32_t>()); break;
            case 10: setspeed(anyId(), anyFloat(input_)), setsemitones(anyId(), anyFloat(input_)); break;
            case 11: {
                auto set = input_.PickValueInArray({setglobalvolume, setmusicvolume, setsfxvolume, setmenuvolume});
                set(anyFloat(input_));
                break;
            }
            case 12: setlimiterthreshold(anyFloat(input_)), setlimiterrelease(anyFloat(input_)); break;
            case 13: getlimiterscale(), getmaxsample(); break;
            case 14: scheduleclock(anyId(), anyDouble(input_), anyDouble(input_)); break;
            case 15: {  // near the clock, where starts fire within the next renders
                const double now = getclock();
                const double start = now + input_.ConsumeFloatingPointInRange<double>(-0.05, 0.05);
                scheduleclock(anyId(), start, input_.ConsumeBool() ? INFINITY : start + 0.02);
                break;
            }
            case 16: unschedule(anyId()); break;
            case 17: input_.ConsumeBool() ? startclockfrom(anyDouble(input_)) : startclock(); break;
            case 18: stopclock(); break;
            case 19: pauseaudio(), unpauseaudio(); break;
            case 20: input_.ConsumeBool() ? pausegameaudio() : unpausegameaudio(); break;
            case 21: unload(anyId()); break;
            case 22: tick(); break;
            case 23: setFormat(); break;
            case 24:
                freeaudio();
                initaudio(1, input_.ConsumeIntegralInRange<uint32_t>(0, 200000), 0, anyFloat(input_), 0, 0, nullptr,
                          nullptr, nullptr, false);
                break;
            case 25:
                loadsegment(input_.ConsumeBool() ? "x" : nullptr, 0, input_.ConsumeBool() ? "f" : nullptr,
                            input_.ConsumeIntegralInRange<uint32_t>(0, 5), anyFloat(input_), anyFloat(input_), 0, 0,
                            anyFloat(input_));
                break;
            case 26:
                initinput(input_.ConsumeIntegral<int32_t>(), input_.ConsumeBool() ? onInput : nullptr,
                          input_.ConsumeBool() ? onInput : nullptr, input_.ConsumeIntegral<int32_t>(),
                          input_.ConsumeIntegral<int32_t>(), nullptr, nullptr, input_.ConsumeIntegral<int32_t>());
                break;
            case 27: freeinput(); break;
            case 28: input_.ConsumeBool() ? lockinput() : unlockinput(); break;
            case 29:
                onfocus(input_.ConsumeIntegral<int32_t>());
                setacceptmouseinput(input_.ConsumeIntegral<int32_t>());
                break;
            default:
                if (render_) renderSome();
                break;
        }
    }

    // What a game relies on after any sequence of calls.
    void check() {
        for (uint32_t id : ids_) {
            if (!cl::engine().sounds.lookupSound(id)) {  // unloaded: answers as absent
                if (getlength(id) != 0.0 || isplaying(id) != 0) broken("an unloaded sound answers as absent", id);
                continue;
            }
            const double length = getlength(id);
            const double position = getposition(id);
            if (!std::isfinite(length) || length < 0.0) broken("length finite and not negative", length);
            if (!std::isfinite(position) || position < 0.0 || position > length) {
                broken("position within the sound", position);
            }
        }
        if (!std::isfinite(getclock())) broken("clock finite", getclock());
    }

    FuzzedDataProvider& input_;
    const bool render_;
    std::vector<uint32_t> ids_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool render = std::getenv("CANTRELLE_FUZZ_EXPORTS_ONLY") == nullptr;
    Session::reset();
    FuzzedDataProvider input(data, size);
    Session(input, render).run();
    return 0;
}
