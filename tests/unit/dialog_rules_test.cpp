#include <gtest/gtest.h>

#include <limits>

#include "dialogs/dialog_rules.h"
#include "dialogs/fade_state.h"

namespace quillmere {
namespace {

struct IntegerCase {
    std::u16string text;
    std::optional<int32_t> value;
};

class ParseDialogIntegerTest : public testing::TestWithParam<IntegerCase> {};

TEST_P(ParseDialogIntegerTest, ReadsLikePercentD) {
    EXPECT_EQ(ParseDialogInteger(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseDialogIntegerTest,
    testing::Values(IntegerCase{u"100", 100}, IntegerCase{u"", std::nullopt},
                    IntegerCase{u"abc", std::nullopt}, IntegerCase{u"12abc", 12},
                    IntegerCase{u"  7", 7}, IntegerCase{u"\t\n 7 8", 7}, IntegerCase{u"-1", -1},
                    IntegerCase{u"+5", 5}, IntegerCase{u"300", 300}, IntegerCase{u"-", std::nullopt},
                    IntegerCase{u"- 1", std::nullopt}, IntegerCase{u"0x1F", 0},
                    IntegerCase{u"\uFF11", std::nullopt},  // fullwidth digit
                    IntegerCase{u"99999999999", std::numeric_limits<int32_t>::max()},
                    IntegerCase{u"-99999999999", std::numeric_limits<int32_t>::min()},
                    // Only the first 63 characters are read.
                    IntegerCase{std::u16string(63, u' ') + u"5", std::nullopt},
                    IntegerCase{std::u16string(62, u' ') + u"59", 5}));

TEST(CheckBoxValueToShow, OutOfRangeValuesShowClear) {
    for (int32_t v : {0, 1, 2}) {
        EXPECT_EQ(CheckBoxValueToShow(v), v);
    }
    for (int32_t v : {-1, 3, 5, std::numeric_limits<int32_t>::min(),
                      std::numeric_limits<int32_t>::max()}) {
        EXPECT_EQ(CheckBoxValueToShow(v), 0);
    }
}

TEST(FadeState, FadesInIn26StepsAndOutFromWhereItIs) {
    FadeState fade;
    std::vector<int32_t> in;
    bool done = false;
    while (!done) {
        done = fade.StepIn();
        in.push_back(fade.m_opacity);
    }
    ASSERT_EQ(in.size(), 26u);
    EXPECT_EQ(in[0], 10);
    EXPECT_EQ(in[24], 250);
    EXPECT_EQ(in[25], 255);
    std::vector<int32_t> out;
    for (done = false; !done;) {
        done = fade.StepOut();
        out.push_back(fade.m_opacity);
    }
    ASSERT_EQ(out.size(), 26u);
    EXPECT_EQ(out[0], 245);
    EXPECT_EQ(out[24], 5);
    EXPECT_EQ(out[25], 0);
}

TEST(FadeState, FadeOutDuringFadeInAndBeforeTheFirstTick) {
    FadeState fade;
    for (int i = 0; i < 7; ++i) {
        fade.StepIn();
    }
    int ticks = 0;
    while (!fade.StepOut()) {
        ++ticks;
    }
    EXPECT_EQ(ticks + 1, 7);  // v / 10 ticks from 70
    FadeState fresh;
    EXPECT_TRUE(fresh.StepOut());
    EXPECT_EQ(fresh.m_opacity, 0);
}

}  // namespace
}  // namespace quillmere
