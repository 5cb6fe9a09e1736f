#include "clock/position_curve.h"

#include <algorithm>
#include <cmath>

namespace cl {
namespace {

// A steered segment runs between half and one and a half times the fitted
// rate: never backwards, and a read a quarter of a millisecond after another
// never lands more than a millisecond later at any real device rate.
constexpr double kSlowestSteer = 0.5, kFastestSteer = 1.5;

double positionAt(int64_t start, double frame, double rate, int64_t t) {
    int64_t since = 0;
    if (__builtin_sub_overflow(t, start, &since)) {
        return frame + rate * (static_cast<double>(t) - static_cast<double>(start));
    }
    return frame + rate * static_cast<double>(since);
}

}  // namespace

SteeringTimes SteeringTimes::forFrequency(int64_t ticksPerSecond) {
    const int64_t perSecond = std::max<int64_t>(ticksPerSecond, 1000);
    // 5, 100, 50 and 20 ms
    return {.margin = perSecond / 200, .horizon = perSecond / 10, .snap = perSecond / 20, .interval = perSecond / 50};
}

double PositionCurve::at(int64_t t) const {
    if (count_ == 0) return 0.0;
    const CurveSegment& oldest = segments_[0];
    if (t < oldest.start) return positionAt(oldest.start, oldest.frame, backRate_, t);
    uint32_t i = count_ - 1;
    while (segments_[i].start > t) i--;
    return positionAt(segments_[i].start, segments_[i].frame, segments_[i].rate, t);
}

void PositionCurve::steer(const FitLine& line, int64_t now, const SteeringTimes& times) {
    backRate_ = line.rate;
    if (count_ == 0) {
        append({now, line.at(now), line.rate});
        return;
    }
    const int64_t from = now + times.margin;
    double frame = at(from);
    double rate = line.rate;
    if (frame < line.at(from) - line.rate * static_cast<double>(times.snap)) {
        frame = line.at(from);  // far behind (the device jumped ahead): catching up would take too long
    } else {
        const double gap = line.at(from + times.horizon) - frame;
        rate =
            std::clamp(gap / static_cast<double>(times.horizon), kSlowestSteer * line.rate, kFastestSteer * line.rate);
    }
    replaceFrom(from, frame, rate);
    // The same expression a reader evaluates at the boundary: the curve is continuous there.
    append({from + times.horizon, positionAt(from, frame, rate, from + times.horizon), line.rate});
}

void PositionCurve::hold(int64_t now, const SteeringTimes& times) {
    if (count_ == 0) return;
    const int64_t from = now + times.margin;
    replaceFrom(from, at(from), 0.0);
}

void PositionCurve::stallAt(double frame, int64_t now) {
    if (count_ == 0 || !(at(now) > frame)) return;
    // Where the curve (which never falls) reached `frame`: in the newest
    // segment that began at or below it, at most at that segment's end.
    uint32_t i = count_;
    while (i > 0 && segments_[i - 1].start > now) i--;  // segments still ahead
    int64_t reached = now;
    while (i > 0) {
        const CurveSegment& segment = segments_[i - 1];
        const int64_t end = reached;  // this segment's end, or now
        if (segment.frame <= frame) {
            const double span = static_cast<double>(end - segment.start);
            const double into = segment.rate > 0.0 ? (frame - segment.frame) / segment.rate : span;
            reached = segment.start + static_cast<int64_t>(std::floor(std::min(into, span)));
            break;
        }
        reached = segment.start;
        i--;
    }
    if (i == 0 && segments_[0].frame > frame && backRate_ > 0.0) {
        // Before the oldest segment, where the curve runs back at the fitted
        // rate: a few seconds at most, so the ticks fit easily.
        constexpr double kFurthest = 1e15;
        const double back = std::min((segments_[0].frame - frame) / backRate_, kFurthest);
        reached = segments_[0].start - static_cast<int64_t>(std::ceil(back));
    }
    const double rate = backRate_;
    if (reached < now) {
        replaceFrom(reached, frame, 0.0);
        append({now, frame, rate});
    } else {
        replaceFrom(now, frame, rate);
    }
}

void PositionCurve::replaceFrom(int64_t from, double frame, double rate) {
    while (count_ > 0 && segments_[count_ - 1].start >= from) count_--;
    append({from, frame, rate});
}

void PositionCurve::append(const CurveSegment& segment) {
    if (count_ == kCapacity) {
        std::move(segments_.begin() + 1, segments_.end(), segments_.begin());
        count_--;
    }
    segments_[count_++] = segment;
}

}  // namespace cl
