#include "show/posix_file_finder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "show/image_catalogue.h"
#include "show/utf.h"

namespace quillmere {
namespace {

namespace fs = std::filesystem;

// The POSIX search feeds the native benchmarks; it must give what the Windows one gives.
class PosixFileFinderTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quillmere-finder-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
    }
    void TearDown() override { fs::remove_all(root); }

    void Touch(const fs::path& p) {
        fs::create_directories(p.parent_path());
        std::ofstream(p).put('x');
    }

    std::u16string Catalogue(const fs::path& p) {
        std::u16string s = Utf8ToUtf16(p.string());
        for (auto& c : s) {
            if (c == u'/') {
                c = u'\\';
            }
        }
        return s;
    }

    fs::path root;
};

TEST_F(PosixFileFinderTest, ScansARealTreeIncludingLinksAndOddNames) {
    Touch(root / "a.jpg");
    Touch(root / "Sub" / "B.JPEG");
    Touch(root / "Sub" / "skip.png");
    Touch(root / "写真" / "😀.jpg");
    fs::create_directory_symlink(root / "Sub", root / "link");
    PosixFileFinder finder;
    RandomSource random;
    ImageCatalogue catalogue(random);
    catalogue.ScanFolder(finder, Catalogue(root), 1);
    const std::u16string r = Catalogue(root);
    EXPECT_EQ(catalogue.Entries(),
              (std::vector<std::u16string>{r + u"\\a.jpg", r + u"\\link\\B.JPEG",
                                           r + u"\\Sub\\B.JPEG", r + u"\\写真\\😀.jpg"}));
}

TEST_F(PosixFileFinderTest, LinkLoopEnds) {
    Touch(root / "a.jpg");
    fs::create_directory_symlink(root, root / "loop");
    PosixFileFinder finder;
    RandomSource random;
    ImageCatalogue catalogue(random);
    catalogue.ScanFolder(finder, Catalogue(root), 1);
    EXPECT_GT(catalogue.Entries().size(), 1u);
    for (const auto& e : catalogue.Entries()) {
        EXPECT_LT(e.size(), FileFinder::kMaxPatternLength);
    }
}

TEST_F(PosixFileFinderTest, MissingFolderFindsNothing) {
    PosixFileFinder finder;
    EXPECT_FALSE(finder.FindFile(Catalogue(root / "missing") + u"\\*.*"));
    EXPECT_FALSE(finder.FindNext());
}

}  // namespace
}  // namespace quillmere
