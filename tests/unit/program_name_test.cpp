#include "app/program_name.h"

#include <gtest/gtest.h>

namespace quillmere {
namespace {

struct NameCase {
    std::u16string path;
    std::u16string program;
    std::u16string help;
};

class ProgramNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(ProgramNameTest, DerivesNamesFromModulePath) {
    EXPECT_EQ(ProgramNameFromPath(GetParam().path), GetParam().program);
    EXPECT_EQ(HelpFilePathFromPath(GetParam().path), GetParam().help);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgramNameTest,
    testing::Values(
        NameCase{u"C:\\Windows\\System32\\Tessaly.scr", u"Tessaly",
                 u"C:\\Windows\\System32\\Tessaly.CHM"},
        NameCase{u"C:\\Users\\me\\Downloads\\Quillmere Photos.scr", u"Quillmere Photos",
                 u"C:\\Users\\me\\Downloads\\Quillmere Photos.CHM"},
        NameCase{u"C:\\a.b\\Tessaly", u"Tessaly", u"C:\\a.b\\Tessaly.CHM"},
        NameCase{u"C:\\x\\my.saver.scr", u"my.saver", u"C:\\x\\my.saver.CHM"},
        NameCase{u"Tessaly.scr", u"Tessaly", u"Tessaly.CHM"},
        NameCase{u"C:Tessaly.scr", u"Tessaly", u"C:Tessaly.CHM"}));

}  // namespace
}  // namespace quillmere
