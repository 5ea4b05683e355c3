#include "show/veil_fade.h"

#include <gtest/gtest.h>

#include <limits>

namespace quillmere {
namespace {

// Runs the fade until its timer stops (or `limit` ticks) and gives the opacities applied.
std::vector<int> FadeOpacities(int32_t count, int32_t alpha, int limit = 1000) {
    VeilFade fade;
    std::vector<int> applied;
    for (int i = 0; i < limit; ++i) {
        const std::optional<uint8_t> a = fade.Step(count, alpha);
        if (!a) {
            break;
        }
        applied.push_back(*a);
    }
    return applied;
}

TEST(VeilFade, DefaultsRiseToOneHundredInThirtyTicksThenStop) {
    const std::vector<int> a = FadeOpacities(30, 100);
    ASSERT_EQ(a.size(), 30u);
    EXPECT_EQ(std::vector<int>(a.begin(), a.begin() + 6), (std::vector<int>{3, 6, 10, 13, 16, 20}));
    EXPECT_EQ(a[28], 96);
    EXPECT_EQ(a[29], 100);
}

TEST(VeilFade, StoppedFadeKeepsItsLastOpacity) {
    VeilFade fade;
    for (int i = 0; i < 30; ++i) {
        fade.Step(30, 100);
    }
    EXPECT_FALSE(fade.Step(30, 100).has_value());
    EXPECT_EQ(fade.m_alpha, 100);
}

TEST(VeilFade, OpacityAbove255Wraps) {
    const std::vector<int> a = FadeOpacities(30, 300);
    EXPECT_EQ(a[24], 250);
    EXPECT_EQ(a[25], 4);
    EXPECT_EQ(a.back(), 44);
}

struct FadeCase {
    const char* label;
    int32_t count, alpha;
    std::vector<int> applied;
};

class VeilFadeCases : public testing::TestWithParam<FadeCase> {};

TEST_P(VeilFadeCases, Applies) {
    EXPECT_EQ(FadeOpacities(GetParam().count, GetParam().alpha), GetParam().applied) << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VeilFadeCases,
    testing::Values(FadeCase{"one tick jumps to the opacity", 1, 100, {100}},
                    FadeCase{"no fade stays transparent", 0, 100, {}},
                    FadeCase{"negative fade stays transparent", -3, 100, {}},
                    FadeCase{"transparent veil still ticks", 3, 0, {0, 0, 0}},
                    FadeCase{"opaque", 2, 255, {127, 255}},
                    FadeCase{"most negative opacity", 2, std::numeric_limits<int32_t>::min(),
                             {0, 0}},
                    FadeCase{"largest opacity", 2, std::numeric_limits<int32_t>::max(), {255, 255}}));

TEST(VeilFade, LongestFadeRunsWithoutOverflowTrouble) {
    const std::vector<int> a = FadeOpacities(std::numeric_limits<int32_t>::max(), 255, 100);
    EXPECT_EQ(a.size(), 100u);
    EXPECT_EQ(a.back(), 0);
}

}  // namespace
}  // namespace quillmere
