#pragma once
// The device's real rate and phase, fitted from its own position reports:
// a least-squares line through the most recent reports, the stream frame
// the device played against the counter value at which it held.
//
// Real devices drift from their nominal rate (and Wine's file device plays
// half as fast again as real time), and each report's time stamp carries
// jitter. The line through two seconds of reports averages the jitter out;
// while the window is still short, its slope leans toward the nominal rate
// (ridge regression), so the first reports cannot throw it far off.
#include <array>
#include <cstddef>
#include <cstdint>

namespace cl {

// Stream frames against counter ticks: frame(t) = frame + rate * (t - ticks).
struct FitLine {
    int64_t ticks = 0;
    double frame = 0.0;
    double rate = 0.0;  // frames per tick

    double at(int64_t t) const;
};

class PositionFit {
public:
    // Reports are averaged four at a time into one point; the window holds
    // 512 points, about two seconds of reports a millisecond apart.
    static constexpr uint32_t kReportsPerPoint = 4;
    static constexpr std::size_t kCapacity = 512;

    // Forgets every report. nominalRate: frames per second; ticksPerSecond:
    // the counter's frequency.
    void reset(double nominalRate, int64_t ticksPerSecond);
    // A report of the stream frame the device played at counter value
    // `ticks`. Reports may arrive in any order of their time stamps; one
    // that lies far behind the others means the device's position restarted,
    // and begins the window afresh.
    void add(int64_t frame, int64_t ticks);
    bool empty() const { return count_ == 0 && pending_.weight == 0; }
    // Needs at least one report.
    FitLine line() const;

private:
    // Seconds and frames from the first report since the window began.
    struct Point {
        double seconds = 0.0;
        double frames = 0.0;
        double weight = 0.0;  // reports averaged into it
    };
    std::array<Point, kCapacity> points_{};
    uint32_t count_ = 0;
    uint32_t next_ = 0;
    Point pending_;  // sums of the reports not yet a point
    int64_t originTicks_ = 0;
    int64_t originFrame_ = 0;
    int64_t newestFrame_ = 0;
    double nominalRate_ = 48000.0;  // frames per second
    double ticksPerSecond_ = 1.0;
};

}  // namespace cl
