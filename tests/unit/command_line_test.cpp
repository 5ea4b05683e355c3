#include "app/command_line.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace quillmere {
namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

struct LaunchCase {
    std::vector<std::u16string> args;
    LaunchAction action;
    bool hasParent;
    int32_t parent;
};

class ParseCommandLineTest : public testing::TestWithParam<LaunchCase> {};

TEST_P(ParseCommandLineTest, ChoosesModeFromFirstArgument) {
    const LaunchCase& c = GetParam();
    const LaunchRequest r = ParseCommandLine(c.args);
    EXPECT_EQ(r.action, c.action);
    EXPECT_EQ(r.hasParent, c.hasParent);
    EXPECT_EQ(r.parent, c.parent);
}

using A = LaunchAction;
INSTANTIATE_TEST_SUITE_P(
    Cases, ParseCommandLineTest,
    testing::Values(
        LaunchCase{{}, A::Configure, false, 0},
        LaunchCase{{u"c"}, A::Configure, false, 0},
        LaunchCase{{u"/c"}, A::Configure, false, 0},
        LaunchCase{{u"-C"}, A::Configure, false, 0},
        LaunchCase{{u"/c:1234"}, A::Configure, false, 0},
        LaunchCase{{u"/configure"}, A::Configure, false, 0},
        LaunchCase{{u"/c", u"1234"}, A::Configure, false, 0},
        LaunchCase{{u"/p", u"1234"}, A::Preview, true, 1234},
        LaunchCase{{u"-P", u"1234"}, A::Preview, true, 1234},
        LaunchCase{{u"/preview", u"1234"}, A::Preview, true, 1234},
        LaunchCase{{u"/p"}, A::Preview, false, 0},
        LaunchCase{{u"/p", u"abc"}, A::Preview, true, 0},
        LaunchCase{{u"/s"}, A::Show, false, 0},
        LaunchCase{{u"S"}, A::Show, false, 0},
        LaunchCase{{u"/screen"}, A::Show, false, 0},
        LaunchCase{{u"/s", u"1234"}, A::Show, false, 0},
        LaunchCase{{u"/a"}, A::Unrecognised, false, 0},
        LaunchCase{{u"//s"}, A::Unrecognised, false, 0},
        LaunchCase{{u"-/s"}, A::Unrecognised, false, 0},
        LaunchCase{{u"x"}, A::Unrecognised, false, 0},
        LaunchCase{{u""}, A::Unrecognised, false, 0},
        LaunchCase{{u"/"}, A::Unrecognised, false, 0},
        LaunchCase{{u" s"}, A::Unrecognised, false, 0},
        // Only ASCII letters fold: a fullwidth "ｓ" is no request.
        LaunchCase{{u"/\uFF53"}, A::Unrecognised, false, 0},
        LaunchCase{{u"", u"/s"}, A::Unrecognised, false, 0}));

struct HandleCase {
    std::u16string text;
    int32_t value;
};

class ParseWindowHandleTest : public testing::TestWithParam<HandleCase> {};

TEST_P(ParseWindowHandleTest, ReadsSignedClampedDecimal) {
    EXPECT_EQ(ParseWindowHandle(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseWindowHandleTest,
    testing::Values(HandleCase{u"1234", 1234}, HandleCase{u"  \t1234", 1234},
                    HandleCase{u"+42", 42}, HandleCase{u"-42", -42}, HandleCase{u"12ab34", 12},
                    HandleCase{u"", 0}, HandleCase{u"abc", 0}, HandleCase{u"-", 0},
                    HandleCase{u"+-5", 0}, HandleCase{u"- 5", 0}, HandleCase{u"0x10", 0},
                    HandleCase{u"2147483647", kMax}, HandleCase{u"2147483648", kMax},
                    HandleCase{u"-2147483648", kMin}, HandleCase{u"-2147483649", kMin},
                    HandleCase{u"99999999999999999999999999", kMax},
                    HandleCase{u"-99999999999999999999999999", kMin},
                    HandleCase{u"00000000000000000000000007", 7}));

}  // namespace
}  // namespace quillmere
