#include "mixer/mix_kernel.h"

#include <atomic>

#if defined(__x86_64__)
#    include <immintrin.h>
#endif

namespace cl {
namespace {

using Kernel = void (*)(float*, const float*, uint32_t, float, float);

// The frames a vector loop leaves over, one at a time.
inline void mixTail(float* out, const float* in, uint32_t from, uint32_t floats, float gainLeft, float gainRight) {
    for (uint32_t i = from; i < floats; i += 2) {
        out[i] += gainLeft * in[i];
        out[i + 1] += gainRight * in[i + 1];
    }
}

#if defined(__x86_64__)

void mixSse2(float* out, const float* in, uint32_t frames, float gainLeft, float gainRight) {
    const uint32_t floats = 2 * frames;
    const __m128 gains = _mm_setr_ps(gainLeft, gainRight, gainLeft, gainRight);
    uint32_t i = 0;
    for (; i + 8 <= floats; i += 8) {
        const __m128 a = _mm_add_ps(_mm_loadu_ps(out + i), _mm_mul_ps(gains, _mm_loadu_ps(in + i)));
        const __m128 b = _mm_add_ps(_mm_loadu_ps(out + i + 4), _mm_mul_ps(gains, _mm_loadu_ps(in + i + 4)));
        _mm_storeu_ps(out + i, a);
        _mm_storeu_ps(out + i + 4, b);
    }
    for (; i + 4 <= floats; i += 4) {
        _mm_storeu_ps(out + i, _mm_add_ps(_mm_loadu_ps(out + i), _mm_mul_ps(gains, _mm_loadu_ps(in + i))));
    }
    mixTail(out, in, i, floats, gainLeft, gainRight);
}

__attribute__((target("avx2"))) void mixAvx2(float* out, const float* in, uint32_t frames, float gainLeft,
                                             float gainRight) {
    const uint32_t floats = 2 * frames;
    const __m256 gains =
        _mm256_setr_ps(gainLeft, gainRight, gainLeft, gainRight, gainLeft, gainRight, gainLeft, gainRight);
    uint32_t i = 0;
    for (; i + 16 <= floats; i += 16) {
        const __m256 a = _mm256_add_ps(_mm256_loadu_ps(out + i), _mm256_mul_ps(gains, _mm256_loadu_ps(in + i)));
        const __m256 b = _mm256_add_ps(_mm256_loadu_ps(out + i + 8), _mm256_mul_ps(gains, _mm256_loadu_ps(in + i + 8)));
        _mm256_storeu_ps(out + i, a);
        _mm256_storeu_ps(out + i + 8, b);
    }
    for (; i + 8 <= floats; i += 8) {
        _mm256_storeu_ps(out + i,
                         _mm256_add_ps(_mm256_loadu_ps(out + i), _mm256_mul_ps(gains, _mm256_loadu_ps(in + i))));
    }
    mixTail(out, in, i, floats, gainLeft, gainRight);
}

bool hasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

Kernel portableKernel() { return mixSse2; }
Kernel kernelFor(MixPath path) { return path == MixPath::Avx2 ? mixAvx2 : mixSse2; }

#else

void mixPlain(float* out, const float* in, uint32_t frames, float gainLeft, float gainRight) {
    mixTail(out, in, 0, 2 * frames, gainLeft, gainRight);
}
bool hasAvx2() { return false; }
Kernel portableKernel() { return mixPlain; }
Kernel kernelFor(MixPath) { return mixPlain; }

#endif

// Chosen once, before any render: a relaxed load on the audio thread.
std::atomic<Kernel> activeKernel{hasAvx2() ? kernelFor(MixPath::Avx2) : portableKernel()};

}  // namespace

void mixSteady(float* out, const float* in, uint32_t frames, float gainLeft, float gainRight) {
    activeKernel.load(std::memory_order_relaxed)(out, in, frames, gainLeft, gainRight);
}

bool cpuSupports(MixPath path) { return path == MixPath::Portable || hasAvx2(); }

MixPath activeMixPath() {
    return activeKernel.load(std::memory_order_relaxed) == portableKernel() ? MixPath::Portable : MixPath::Avx2;
}

bool useMixPath(MixPath path) {
    if (!cpuSupports(path)) return false;
    activeKernel.store(path == MixPath::Portable ? portableKernel() : kernelFor(path), std::memory_order_relaxed);
    return true;
}

}  // namespace cl
