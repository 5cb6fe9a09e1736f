#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/float_convert.h"

namespace cl {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(SaturatingTruncate, SignedSixtyFourBit) {
    struct Case {
        double in;
        int64_t out;
    } cases[] = {
        {2.9, 2},
        {-2.9, -2},
        {-0.0, 0},
        {kNaN, 0},
        {kInf, INT64_MAX},
        {-kInf, INT64_MIN},
        {1e300, INT64_MAX},
        {-1e300, INT64_MIN},
        {9223372036854775807.0, INT64_MAX},              // rounds to 2^63, just out of range
        {9223372036854774784.0, 9223372036854774784LL},  // largest double below 2^63
        {-9223372036854775808.0, INT64_MIN},
    };
    for (const Case& c : cases) EXPECT_EQ(saturatingTruncate<int64_t>(c.in), c.out) << c.in;
}

TEST(SaturatingTruncate, UnsignedAndThirtyTwoBit) {
    EXPECT_EQ(saturatingTruncate<uint32_t>(-0.5), 0u);
    EXPECT_EQ(saturatingTruncate<uint32_t>(-1e9), 0u);
    EXPECT_EQ(saturatingTruncate<uint32_t>(4294967294.7), 4294967294u);
    EXPECT_EQ(saturatingTruncate<uint32_t>(4294967295.0), UINT32_MAX);
    EXPECT_EQ(saturatingTruncate<uint32_t>(kInf), UINT32_MAX);
    EXPECT_EQ(saturatingTruncate<uint32_t>(kNaN), 0u);
    EXPECT_EQ(saturatingTruncate<int32_t>(-3e9), INT32_MIN);
    EXPECT_EQ(saturatingTruncate<int32_t>(2147483647.9), INT32_MAX);
}

}  // namespace
}  // namespace cl
