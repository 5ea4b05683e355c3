#include "show/show_arithmetic.h"

#include <gtest/gtest.h>

#include <limits>

namespace quillmere {
namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

TEST(ShowArithmetic, WrapsLikeThirtyTwoBitHardware) {
    EXPECT_EQ(WrapAdd(kMax, 1), kMin);
    EXPECT_EQ(WrapSub(kMin, 1), kMax);
    EXPECT_EQ(WrapMul(65536, 65536), 0);
    EXPECT_EQ(WrapMul(kMax, 2), -2);
    EXPECT_EQ(WrapMul(kMin, -1), kMin);
    EXPECT_EQ(WrapMul(30, 255), 7650);
}

TEST(ShowArithmetic, DividesTowardZero) {
    EXPECT_EQ(TruncDiv(7, 2), 3);
    EXPECT_EQ(TruncDiv(-7, 2), -3);
    EXPECT_EQ(TruncDiv(7, -2), -3);
    EXPECT_EQ(TruncDiv(kMin, -1), kMin);
    EXPECT_EQ(TruncDiv(5, -1), -5);
    EXPECT_EQ(TruncDiv(0, 0), 0);
}

TEST(ShowArithmetic, AppliesTheLowByte) {
    EXPECT_EQ(LowByte(300), 44);
    EXPECT_EQ(LowByte(-1), 255);
    EXPECT_EQ(LowByte(kMin), 0);
    EXPECT_EQ(LowByte(255), 255);
}

}  // namespace
}  // namespace quillmere
