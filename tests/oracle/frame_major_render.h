#pragma once
// The frame-by-frame render the library's render must match bit for bit.
#include <cstdint>

#include "mixer/handoff_seam.h"
#include "mixer/render.h"

namespace cl {
struct Engine;
}

namespace cl::test {

// renderBuffer's contract, frame-major; Seam is told BlockListed once the
// call has listed the sounds it visits.
template <class Seam>
RenderResult oracleRenderBufferWith(Engine& engine, uint8_t* out, uint32_t frames, uint8_t** nextOut,
                                    uint32_t* framesDone);

inline RenderResult oracleRenderBuffer(Engine& engine, uint8_t* out, uint32_t frames, uint8_t** nextOut,
                                       uint32_t* framesDone) {
    return oracleRenderBufferWith<NoSeam>(engine, out, frames, nextOut, framesDone);
}

}  // namespace cl::test
