// Compares the resampling libraries Debian offers, as they were weighed for
// the native build's converter: error of pure tones converted 44100 -> 48000
// against the ideal tone at 48000 (passband, phase and delay together, in
// dB), what is left of a 23 kHz tone converted 48000 -> 44100 (aliasing),
// the offset of an impulse from its ideal position (frames), and speed
// (seconds of stereo converted per second). Built when libsamplerate and
// speexdsp are installed (libsamplerate0-dev, libspeexdsp-dev).
#include <samplerate.h>
#include <soxr.h>
#include <speex/speex_resampler.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <vector>
using Fn = std::function<std::vector<float>(const std::vector<float>&, unsigned, unsigned)>;
std::vector<float> viaSoxr(const std::vector<float>& in, unsigned a, unsigned b, unsigned long recipe) {
    size_t inFrames = in.size() / 2, outFrames = (size_t)((double)inFrames * b / a);
    std::vector<float> out(outFrames * 2);
    size_t done = 0;
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    soxr_quality_spec_t q = soxr_quality_spec(recipe, 0);
    soxr_oneshot(a, b, 2, in.data(), inFrames, nullptr, out.data(), outFrames, &done, &io, &q, nullptr);
    out.resize(done * 2);
    return out;
}
std::vector<float> viaSrc(const std::vector<float>& in, unsigned a, unsigned b, int type) {
    size_t inFrames = in.size() / 2, outFrames = (size_t)((double)inFrames * b / a);
    std::vector<float> out(outFrames * 2);
    SRC_DATA d{};
    d.data_in = in.data();
    d.input_frames = inFrames;
    d.data_out = out.data();
    d.output_frames = outFrames;
    d.src_ratio = (double)b / a;
    src_simple(&d, type, 2);
    out.resize(d.output_frames_gen * 2);
    return out;
}
std::vector<float> viaSpeex(const std::vector<float>& in, unsigned a, unsigned b, int quality) {
    int err;
    SpeexResamplerState* s = speex_resampler_init(2, a, b, quality, &err);
    speex_resampler_skip_zeros(s);
    size_t inFrames = in.size() / 2, outFrames = (size_t)((double)inFrames * b / a);
    int lat = speex_resampler_get_input_latency(s);
    std::vector<float> padded(in);
    padded.resize(in.size() + lat * 2 * 2, 0.f);
    std::vector<float> out(outFrames * 2 + 64);
    spx_uint32_t il = padded.size() / 2, ol = outFrames;
    speex_resampler_process_interleaved_float(s, padded.data(), &il, out.data(), &ol);
    speex_resampler_destroy(s);
    out.resize(ol * 2);
    return out;
}
double toneErrorDb(Fn f, unsigned a, unsigned b, double hz) {
    const size_t n = a * 2;
    std::vector<float> in(n * 2);
    for (size_t i = 0; i < n; i++) {
        float v = 0.5 * sin(2 * std::numbers::pi * hz * i / a);
        in[2 * i] = v;
        in[2 * i + 1] = v;
    }
    auto out = f(in, a, b);
    double e = 0, s = 0;
    size_t outN = out.size() / 2;
    // skip edges (first and last 10%)
    for (size_t i = outN / 10; i < outN * 9 / 10; i++) {
        double ideal = 0.5 * sin(2 * std::numbers::pi * hz * i / b);
        double d = out[2 * i] - ideal;
        e += d * d;
        s += ideal * ideal;
    }
    return 10 * log10(e / s);
}
double aliasDb(Fn f, unsigned a, unsigned b, double hz) {  // tone above the output Nyquist: what leaks
    const size_t n = a * 2;
    std::vector<float> in(n * 2);
    for (size_t i = 0; i < n; i++) {
        float v = 0.5 * sin(2 * std::numbers::pi * hz * i / a);
        in[2 * i] = v;
        in[2 * i + 1] = v;
    }
    auto out = f(in, a, b);
    double e = 0;
    size_t outN = out.size() / 2;
    size_t k = 0;
    for (size_t i = outN / 10; i < outN * 9 / 10; i++) {
        e += out[2 * i] * out[2 * i];
        k++;
    }
    return 10 * log10((e / k) / (0.125));
}
double firstFrameOffset(Fn f, unsigned a, unsigned b) {  // impulse at frame 100 -> peak position vs ideal
    std::vector<float> in(a * 2, 0.f);
    in[200] = in[201] = 1;
    auto out = f(in, a, b);
    size_t best = 0;
    for (size_t i = 0; i < out.size() / 2; i++)
        if (fabs(out[2 * i]) > fabs(out[2 * best])) best = i;
    return best - 100.0 * b / a;
}
double speed(Fn f, unsigned a, unsigned b) {
    const size_t n = a * 60;
    std::vector<float> in(n * 2);
    for (size_t i = 0; i < n * 2; i++) in[i] = sin(i * 0.001);
    auto t0 = std::chrono::steady_clock::now();
    auto out = f(in, a, b);
    auto t1 = std::chrono::steady_clock::now();
    return 60.0 / std::chrono::duration<double>(t1 - t0).count();
}
int main() {
    struct C {
        const char* name;
        Fn f;
    };
    C cs[] = {
        {"soxr HQ", [](auto& i, unsigned a, unsigned b) { return viaSoxr(i, a, b, SOXR_HQ); }},
        {"soxr VHQ", [](auto& i, unsigned a, unsigned b) { return viaSoxr(i, a, b, SOXR_VHQ); }},
        {"src sinc medium", [](auto& i, unsigned a, unsigned b) { return viaSrc(i, a, b, SRC_SINC_MEDIUM_QUALITY); }},
        {"src sinc best", [](auto& i, unsigned a, unsigned b) { return viaSrc(i, a, b, SRC_SINC_BEST_QUALITY); }},
        {"speex q5", [](auto& i, unsigned a, unsigned b) { return viaSpeex(i, a, b, 5); }},
        {"speex q10", [](auto& i, unsigned a, unsigned b) { return viaSpeex(i, a, b, 10); }}};
    printf("%-16s %9s %9s %9s %9s %10s %8s %8s\n", "resampler", "1k err", "10k err", "18k err", "20k err", "alias23k",
           "delay", "x rt");
    for (auto& c : cs)
        printf("%-16s %9.1f %9.1f %9.1f %9.1f %10.1f %8.2f %8.0f\n", c.name, toneErrorDb(c.f, 44100, 48000, 1000),
               toneErrorDb(c.f, 44100, 48000, 10000), toneErrorDb(c.f, 44100, 48000, 18000),
               toneErrorDb(c.f, 44100, 48000, 20000), aliasDb(c.f, 48000, 44100, 23000),
               firstFrameOffset(c.f, 44100, 48000), speed(c.f, 44100, 48000));
}
