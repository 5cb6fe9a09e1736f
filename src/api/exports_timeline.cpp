// One timeline for sound and input: the exports that extend the interface.
#include <limits>
#include <optional>

#include "api/global_engine.h"
#include "api/global_input.h"
#include "cantrelle.h"
#include "clock/clock.h"
#include "platform/counter.h"

using namespace cl;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The clock time heard at a counter value; with no device to say (audio
// closed, the null output, no position report yet), the engine clock now.
double heardSecondsAt(int64_t counterTicks) {
    const std::optional<double> heard = engine().clock.heard.clockSecondsAt(counterTicks);
    return heard ? *heard : getClock(engine());
}

}  // namespace

extern "C" {

CL_API double getheardclock(void) {
    // The counter is read before the heard clock is: see clock/heard_clock.h.
    return guarded("GetHeardClock", 0.0, [] { return heardSecondsAt(platform::counterNow()); });
}

CL_API double getinputtime(void) {
    return guarded("GetInputTime", kNaN, [] {
        const std::optional<int64_t> seenAt = input().deliveredEventSeenAt();
        return seenAt ? heardSecondsAt(*seenAt) : kNaN;
    });
}

}  // extern "C"
