#include "sound/sound_record.h"

#include "sound/sample_memory.h"

namespace cl {

SoundRecord::SoundRecord() = default;

SoundRecord::~SoundRecord() {
    if (name != kUnknownName) delete[] name;
    float* current = data.load(std::memory_order_relaxed);
    freeSamples(sourceData);
    if (current != sourceData) freeSamples(current);
}

}  // namespace cl
