#include "engine/output_info.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace cl {
namespace {

// The ends of the fields in order: a caller's size is cut back to the last
// whole field, so no field is ever half written.
#define CL_FIELD_END(field) (offsetof(CantrelleOutputInfo, field) + sizeof(CantrelleOutputInfo::field))
constexpr size_t kFieldEnds[] = {
    CL_FIELD_END(size),
    CL_FIELD_END(provider),
    CL_FIELD_END(sampleFormat),
    CL_FIELD_END(frameRate),
    CL_FIELD_END(channels),
    CL_FIELD_END(exclusive),
    CL_FIELD_END(devicePeriodFrames),
    CL_FIELD_END(bufferFrames),
    CL_FIELD_END(fillTargetFrames),
    CL_FIELD_END(latencyFrames),
    CL_FIELD_END(underruns),
};
#undef CL_FIELD_END
static_assert(kFieldEnds[std::size(kFieldEnds) - 1] == sizeof(CantrelleOutputInfo), "every field is listed");

uint32_t filledBytes(uint32_t size) {
    size_t filled = 0;
    for (size_t end : kFieldEnds) {
        if (end <= size) filled = end;
    }
    return static_cast<uint32_t>(filled);
}

CantrelleOutputInfo describe(int32_t provider, const OutputFigures& figures) {
    CantrelleOutputInfo info{};
    info.provider = static_cast<uint32_t>(provider);
    info.sampleFormat = static_cast<uint32_t>(figures.format);
    info.frameRate = figures.frameRate;
    info.channels = figures.channels;
    info.exclusive = figures.exclusive ? 1 : 0;
    info.devicePeriodFrames = figures.devicePeriodFrames;
    info.bufferFrames = figures.bufferFrames;
    info.fillTargetFrames = figures.fillTargetFrames;
    const uint64_t latency = uint64_t{figures.fillTargetFrames} + figures.streamLatencyFrames;
    info.latencyFrames = static_cast<uint32_t>(std::min<uint64_t>(latency, UINT32_MAX));
    info.underruns = figures.underruns;
    return info;
}

}  // namespace

bool getOutputInfo(Engine& engine, CantrelleOutputInfo* info) {
    if (info == nullptr) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to get output info (info is null)\n", tid());
        return false;
    }
    const uint32_t size = info->size;
    if (size < sizeof info->size) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to get output info (size %u is too small)\n", tid(), size);
        return false;
    }
    if (!requireMainThread(engine, "GetOutputInfo")) return false;
    if (!engine.audio.audioInitialised.load(std::memory_order_relaxed)) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to get output info (audio not initialised)\n", tid());
        return false;
    }
    CantrelleOutputInfo full = describe(engine.audio.currentProviderId.load(std::memory_order_relaxed),
                                        engine.currentProvider().GetOutputInfo());
    full.size = filledBytes(size);
    std::memcpy(info, &full, full.size);
    return true;
}

}  // namespace cl
