#pragma once
// The steady part of a voice's mix: its gains no longer move, so each frame
// is the same two multiply-adds. Vectorised per instruction set, each path
// giving the same bits as the plain frame-by-frame arithmetic (a multiply
// rounded, then an add rounded: no fused multiply-add).
#include <cstdint>

namespace cl {

enum class MixPath { Portable, Avx2 };

// out[2i] += gainLeft * in[2i], out[2i+1] += gainRight * in[2i+1] for each
// of `frames` frames, with the path chosen once at load (AVX2 when the CPU
// has it, else the SSE2 path every x86-64 CPU runs).
void mixSteady(float* out, const float* in, uint32_t frames, float gainLeft, float gainRight);

MixPath activeMixPath();
bool cpuSupports(MixPath path);
// Tests and benchmarks choose a path; false (and no change) when the CPU
// lacks it.
bool useMixPath(MixPath path);

}  // namespace cl
