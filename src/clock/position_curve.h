#pragma once
// The stream position heard at each counter value, as readers evaluate it:
// a chain of line segments that never falls, steered toward the fitted line
// a little at a time so that jitter in the reports never makes it step.
//
// The rule that keeps reads from running backwards across threads: a change
// only ever replaces the curve from a counter value `margin` ahead of the
// report that caused it. A reader that took its counter value before it
// loaded the curve it evaluates can therefore only have a value the change
// leaves alone, so every reader sees one curve, extended into the future,
// never rewritten behind a value someone may have read (provided the writer
// publishes within `margin` of its report, which the audio thread does). The
// one change behind a report, stallAt, sets the curve to what readers were
// given there.
#include <array>
#include <cstddef>
#include <cstdint>

#include "clock/position_fit.h"

namespace cl {

struct CurveSegment {
    int64_t start = 0;   // counter value where it begins
    double frame = 0.0;  // stream position there
    double rate = 0.0;   // frames per tick, never negative
};

// Counter values for the curve's steering, from the counter's frequency.
struct SteeringTimes {
    int64_t margin = 0;    // how far ahead of a report a change begins
    int64_t horizon = 0;   // over how long a change closes its gap to the fitted line
    int64_t snap = 0;      // a gap larger than this, behind the line, is closed at once
    int64_t interval = 0;  // how often the fitted line is followed anew

    static SteeringTimes forFrequency(int64_t ticksPerSecond);
};

class PositionCurve {
public:
    static constexpr std::size_t kCapacity = 32;

    bool empty() const { return count_ == 0; }
    std::size_t size() const { return count_; }
    const CurveSegment& segment(std::size_t i) const { return segments_[i]; }  // 0 is the oldest
    // The stream position at counter value t. Before the oldest segment the
    // curve runs back at the fitted rate.
    double at(int64_t t) const;

    // Steers toward `line` from `now` (the counter value of the report).
    void steer(const FitLine& line, int64_t now, const SteeringTimes& times);
    // Holds the position from `now` plus the margin on: the device stopped.
    void hold(int64_t now, const SteeringTimes& times);
    // The device cannot have played past `frame`, the end of what it was
    // given, and more is being given now, just after its report at `now`.
    // Where the curve passed `frame` before `now`, the device ran dry: the
    // curve holds at `frame` from where it reached it to `now`, then runs on
    // from there at the fitted rate. Readers stopped at `frame` there all
    // along (past the end of the mix the clock stands still), so no read they
    // made changes (but for one made between the report and this change,
    // which moves on a little); without the hold the new frames would make
    // the clock jump by the time the device stood dry, and times read later
    // (a press's) would lie beyond anything the device had been given then.
    void stallAt(double frame, int64_t now);

private:
    // Drops every segment beginning at or after `from` and appends one there.
    void replaceFrom(int64_t from, double frame, double rate);
    void append(const CurveSegment& segment);

    std::array<CurveSegment, kCapacity> segments_{};  // oldest first
    uint32_t count_ = 0;
    double backRate_ = 0.0;  // the fitted rate, for values before the oldest segment
};

}  // namespace cl
