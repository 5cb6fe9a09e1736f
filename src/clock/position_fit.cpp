#include "clock/position_fit.h"

#include <algorithm>
#include <cmath>

namespace cl {
namespace {

// The prior on the slope weighs as much as eight reports spread over 100 ms:
// it steadies the first few reports and is soon outweighed (a second of
// reports a millisecond apart outweighs it about 10000 to 1).
constexpr double kPriorWeight = 8 * 0.1 * 0.1 / 12;  // reports times seconds squared
// Whatever the reports say, a device plays between a quarter and four times its nominal rate.
constexpr double kSlowest = 0.25, kFastest = 4.0;
// A report this far (in seconds of frames) behind the newest means the position restarted.
constexpr double kRestart = 0.25;

}  // namespace

double FitLine::at(int64_t t) const {
    int64_t since = 0;
    if (__builtin_sub_overflow(t, ticks, &since)) {
        return frame + rate * (static_cast<double>(t) - static_cast<double>(ticks));
    }
    return frame + rate * static_cast<double>(since);
}

void PositionFit::reset(double nominalRate, int64_t ticksPerSecond) {
    count_ = next_ = 0;
    pending_ = {};
    nominalRate_ = nominalRate > 0 ? nominalRate : 48000.0;
    ticksPerSecond_ = ticksPerSecond > 0 ? static_cast<double>(ticksPerSecond) : 1.0;
}

void PositionFit::add(int64_t frame, int64_t ticks) {
    if (!empty() && static_cast<double>(newestFrame_ - frame) > kRestart * nominalRate_) {
        count_ = next_ = 0;
        pending_ = {};
    }
    if (empty()) {
        originTicks_ = ticks;
        originFrame_ = newestFrame_ = frame;
    }
    newestFrame_ = std::max(newestFrame_, frame);
    pending_.seconds += static_cast<double>(ticks - originTicks_) / ticksPerSecond_;
    pending_.frames += static_cast<double>(frame - originFrame_);
    pending_.weight += 1;
    if (pending_.weight < kReportsPerPoint) return;
    points_[next_] = {pending_.seconds / pending_.weight, pending_.frames / pending_.weight, pending_.weight};
    next_ = (next_ + 1) % kCapacity;
    if (count_ < kCapacity) count_++;
    pending_ = {};
}

FitLine PositionFit::line() const {
    // Weighted least squares over the points and the reports still pending.
    const auto each = [&](auto&& visit) {
        for (uint32_t i = 0; i < count_; ++i) visit(points_[i].seconds, points_[i].frames, points_[i].weight);
        if (pending_.weight > 0) {
            visit(pending_.seconds / pending_.weight, pending_.frames / pending_.weight, pending_.weight);
        }
    };
    double weight = 0, meanX = 0, meanY = 0;
    each([&](double x, double y, double w) {
        weight += w;
        meanX += w * x;
        meanY += w * y;
    });
    meanX /= weight;
    meanY /= weight;
    double sxx = 0, sxy = 0;
    each([&](double x, double y, double w) {
        sxx += w * (x - meanX) * (x - meanX);
        sxy += w * (x - meanX) * (y - meanY);
    });
    const double slope = std::clamp((sxy + kPriorWeight * nominalRate_) / (sxx + kPriorWeight), kSlowest * nominalRate_,
                                    kFastest * nominalRate_);
    // The line passes through the reports' centre; expressed at its counter value.
    const int64_t centre = originTicks_ + std::llround(meanX * ticksPerSecond_);
    const double centreX = static_cast<double>(centre - originTicks_) / ticksPerSecond_;
    return {centre, static_cast<double>(originFrame_) + meanY + slope * (centreX - meanX), slope / ticksPerSecond_};
}

}  // namespace cl
