#include "show/image_catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "fake_file_finder.h"

namespace quillmere {
namespace {

using Paths = std::vector<std::u16string>;

const FakeEntry kDots[] = {{u".", true}, {u"..", true}};

std::vector<FakeEntry> WithDots(std::vector<FakeEntry> entries) {
    entries.insert(entries.begin(), std::begin(kDots), std::end(kDots));
    return entries;
}

class ImageCatalogueTest : public testing::Test {
protected:
    Paths Scan(std::u16string_view folder, int32_t sub) {
        catalogue.Clear();
        catalogue.ScanFolder(finder, folder, sub);
        return catalogue.Entries();
    }

    RandomSource random;
    FakeFileFinder finder;
    ImageCatalogue catalogue{random};
};

TEST_F(ImageCatalogueTest, ListsOnlyJpgAndJpegExtensions) {
    finder.m_folders[u"C:\\P"] = WithDots({{u"A.JPG"}, {u"b.Jpeg"}, {u"c.jpe"}, {u"d.jpg.bak"},
                                           {u"e"}, {u".jpg"}, {u"f.jpg "}, {u"g.JPEG"},
                                           {u"h.jp\u0261"}});
    EXPECT_EQ(Scan(u"C:\\P", 1),
              (Paths{u"C:\\P\\.jpg", u"C:\\P\\A.JPG", u"C:\\P\\b.Jpeg", u"C:\\P\\g.JPEG"}));
}

TEST_F(ImageCatalogueTest, DirectoryNamedLikePhotoIsListedAndSearched) {
    finder.m_folders[u"C:\\P"] = WithDots({{u"Trip.jpg", true}, {u"x.jpg"}});
    finder.m_folders[u"C:\\P\\Trip.jpg"] = WithDots({{u"in.jpg"}, {u"notes.txt"}});
    EXPECT_EQ(Scan(u"C:\\P", 1),
              (Paths{u"C:\\P\\Trip.jpg", u"C:\\P\\Trip.jpg\\in.jpg", u"C:\\P\\x.jpg"}));
    EXPECT_EQ(Scan(u"C:\\P", 0), (Paths{u"C:\\P\\Trip.jpg", u"C:\\P\\x.jpg"}));
}

TEST_F(ImageCatalogueTest, SortsByFoldedFullPath) {
    finder.m_folders[u"C:\\P"] = WithDots({{u"z.jpg"}, {u"Sub", true}, {u"a.jpg"}, {u"Sub1.jpg"},
                                           {u"_u.jpg"}, {u"Sub_x.jpg"}});
    finder.m_folders[u"C:\\P\\Sub"] = WithDots({{u"b.jpg"}});
    EXPECT_EQ(Scan(u"C:\\P", 1), (Paths{u"C:\\P\\_u.jpg", u"C:\\P\\a.jpg", u"C:\\P\\Sub1.jpg",
                                        u"C:\\P\\Sub\\b.jpg", u"C:\\P\\Sub_x.jpg", u"C:\\P\\z.jpg"}));
}

TEST_F(ImageCatalogueTest, EqualFoldedPathsKeepTheOrderTheyWereFound) {
    finder.m_folders[u"/p"] = WithDots({{u"b.jpg"}, {u"B.JPG"}, {u"a.jpg"}, {u"B.jpg"}});
    EXPECT_EQ(Scan(u"/p", 1), (Paths{u"/p\\a.jpg", u"/p\\b.jpg", u"/p\\B.JPG", u"/p\\B.jpg"}));
}

TEST_F(ImageCatalogueTest, EmptyFolderSearchesNothing) {
    EXPECT_TRUE(Scan(u"", 1).empty());
    EXPECT_TRUE(finder.m_patterns.empty());
    EXPECT_FALSE(catalogue.ChooseNext(0).has_value());
    EXPECT_EQ(catalogue.Current(), -1);
}

TEST_F(ImageCatalogueTest, PatternIsPlainConcatenation) {
    finder.m_folders[u"C:\\P"] = WithDots({{u"a.jpg"}});
    Scan(u"C:\\P\\", 1);
    EXPECT_EQ(finder.m_patterns, (Paths{u"C:\\P\\\\*.*"}));
    EXPECT_EQ(catalogue.Entries(), (Paths{u"C:\\P\\a.jpg"}));
}

TEST_F(ImageCatalogueTest, UnsearchableFoldersAddNothingAndTheScanGoesOn) {
    finder.m_folders[u"C:\\P"] = WithDots({{u"Locked", true}, {u"Open", true}, {u"a.jpg"}});
    finder.m_folders[u"C:\\P\\Open"] = WithDots({{u"b.jpg"}});
    EXPECT_EQ(Scan(u"C:\\P", 1), (Paths{u"C:\\P\\a.jpg", u"C:\\P\\Open\\b.jpg"}));
    EXPECT_TRUE(Scan(u"C:\\Missing", 1).empty());
}

TEST_F(ImageCatalogueTest, LinkLoopEndsAtThePatternLimitWithOneSearchOpen) {
    // "loop" links back to its own folder, however deep.
    finder.m_folders[u"C:\\L"] = WithDots({{u"loop", true}, {u"a.jpg"}});
    finder.m_resolve = [](const std::u16string& f) {
        std::u16string r = f;
        for (size_t at; (at = r.find(u"\\loop")) != std::u16string::npos;) {
            r.erase(at, 5);
        }
        return r;
    };
    const Paths entries = Scan(u"C:\\L", 1);
    // C:\L\a.jpg, C:\L\loop\a.jpg, ... while the pattern stays below 260 units.
    const size_t depths = (FileFinder::kMaxPatternLength - 1 - std::u16string(u"C:\\L\\*.*").size()) / 5 + 1;
    EXPECT_EQ(entries.size(), depths);
    EXPECT_EQ(finder.m_patterns.size(), depths);
    for (const std::u16string& p : finder.m_patterns) {
        EXPECT_LT(p.size(), FileFinder::kMaxPatternLength);
    }
    EXPECT_EQ(finder.m_maxOpen, 1);
}

TEST(FileFinderLimit, RefusesPatternsOf260UnitsOrMore) {
    FakeFileFinder finder;
    const std::u16string folder259 = u"C:\\" + std::u16string(259 - 3 - 4, u'd');
    const std::u16string folder260 = folder259 + u"e";
    finder.m_folders[folder259] = WithDots({});
    finder.m_folders[folder260] = WithDots({});
    EXPECT_TRUE(finder.FindFile(folder259 + u"\\*.*"));
    EXPECT_FALSE(finder.FindFile(folder260 + u"\\*.*"));
}

// The order is defined by repeated passes of neighbour swaps; the catalogue must match it.
Paths BubbleSorted(Paths p) {
    for (bool swapped = true; swapped;) {
        swapped = false;
        for (size_t i = 0; i + 1 < p.size(); ++i) {
            if (CatalogueLess(p[i + 1], p[i])) {
                std::swap(p[i], p[i + 1]);
                swapped = true;
            }
        }
    }
    return p;
}

TEST(CatalogueSort, MatchesNeighbourSwapOrderOnRandomPaths) {
    const std::u16string alphabet = u"aAbBzZ_\\. 1\u00e9\u00c9\u3042\xFFFF";
    std::mt19937 rng(12345);
    for (int round = 0; round < 200; ++round) {
        Paths paths(std::uniform_int_distribution<size_t>(0, 40)(rng));
        for (auto& p : paths) {
            p.resize(std::uniform_int_distribution<size_t>(0, 6)(rng));
            for (auto& c : p) {
                c = alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(rng)];
            }
        }
        RandomSource random;
        ImageCatalogue catalogue(random);
        for (const auto& p : paths) {
            catalogue.AppendForTest(p);
        }
        catalogue.Sort();
        ASSERT_EQ(catalogue.Entries(), BubbleSorted(paths)) << "round " << round;
    }
}

struct LessCase {
    std::u16string a, b;
    bool less;
};

class CatalogueLessTest : public testing::TestWithParam<LessCase> {};

TEST_P(CatalogueLessTest, FoldsOnlyAsciiAndComparesUnsignedUnits) {
    EXPECT_EQ(CatalogueLess(GetParam().a, GetParam().b), GetParam().less);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CatalogueLessTest,
    testing::Values(LessCase{u"a", u"B", true}, LessCase{u"B", u"a", false},
                    LessCase{u"A", u"a", false}, LessCase{u"a", u"A", false},
                    LessCase{u"ab", u"abc", true}, LessCase{u"abc", u"ab", false},
                    LessCase{u"a\\", u"a_", true}, LessCase{u"_", u"a", true}, LessCase{u"z", u"_", false},
                    LessCase{u"1", u"\\", true}, LessCase{u"\u00c9", u"\u00e9", true},
                    LessCase{u"z", u"\u00e9", true}, LessCase{u"\u3042", u"\xFFFF", true},
                    LessCase{u"", u"", false}));

TEST(ChooseNext, OrderModeCyclesFromTheFirstEntry) {
    RandomSource random;
    ImageCatalogue catalogue(random);
    for (auto p : {u"a", u"b", u"c"}) {
        catalogue.AppendForTest(p);
    }
    Paths got;
    for (int i = 0; i < 7; ++i) {
        got.push_back(*catalogue.ChooseNext(0));
    }
    EXPECT_EQ(got, (Paths{u"a", u"b", u"c", u"a", u"b", u"c", u"a"}));
}

TEST(ChooseNext, RandomModeUsesTheDrawsOfTheSharedSource) {
    RandomSource random;
    random.Seed(99);
    RandomSource replay;
    replay.Seed(99);
    ImageCatalogue catalogue(random);
    for (int i = 0; i < 10; ++i) {
        catalogue.AppendForTest(std::u16string(1, static_cast<char16_t>(u'a' + i)));
    }
    for (int i = 0; i < 100; ++i) {
        const int32_t expected = RandomIndex(replay.Next(), 10);
        ASSERT_EQ(*catalogue.ChooseNext(1), catalogue.Entries()[expected]);
        ASSERT_EQ(catalogue.Current(), expected);
    }
}

std::vector<int> DrawCounts(size_t count) {
    std::vector<int> hits(count);
    for (int32_t r = 0; r <= RandomSource::kMax; ++r) {
        const int32_t index = RandomIndex(r, count);
        EXPECT_GE(index, 0);
        EXPECT_LT(static_cast<size_t>(index), count);
        ++hits[static_cast<size_t>(index)];
    }
    return hits;
}

TEST(RandomIndex, OneEntryIsAlwaysChosen) {
    EXPECT_EQ(DrawCounts(1), std::vector<int>{32768});
}

TEST(RandomIndex, TwoEntriesSplitTheDrawsUnevenly) {
    EXPECT_EQ(DrawCounts(2), (std::vector<int>{16385, 16383}));
}

TEST(RandomIndex, ReachOfTheFifteenBitDraw) {
    const std::vector<int> small = DrawCounts(32767);
    EXPECT_TRUE(std::none_of(small.begin(), small.end(), [](int h) { return h == 0; }));
    const std::vector<int> large = DrawCounts(32768);
    EXPECT_EQ(large.back(), 0);
    EXPECT_EQ(std::count(large.begin(), large.end(), 0), 1);
}

TEST(RandomIndex, AgreesWithThirtyTwoBitFormulaWhereItDoesNotOverflowAndStaysInRangeBeyond) {
    for (size_t count : {size_t{3}, size_t{1000}, size_t{65537}, size_t{65538}}) {
        for (int32_t r = 0; r <= RandomSource::kMax; ++r) {
            const int32_t narrow = r * static_cast<int32_t>(count) / 32767;
            ASSERT_EQ(RandomIndex(r, count), narrow >= static_cast<int32_t>(count) ? 0 : narrow);
        }
    }
    for (size_t count : {size_t{65539}, size_t{1000000}, size_t{50000000}}) {
        EXPECT_EQ(RandomIndex(0, count), 0);
        EXPECT_EQ(RandomIndex(32767, count), 0);
        EXPECT_EQ(static_cast<size_t>(RandomIndex(32766, count)), count * 32766 / 32767);
    }
}

}  // namespace
}  // namespace quillmere
