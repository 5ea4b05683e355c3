#include <gtest/gtest.h>

#include <limits>

#include "memory_profile_store.h"
#include "settings/saver_settings.h"
#include "settings/settings_persistence.h"
#include "settings/stored_value.h"

namespace quillmere {
namespace {

const std::u16string kPictures = u"C:\\users\\me\\Pictures";

SaverSettings Load(MemoryProfileStore& store, std::u16string folder = kPictures) {
    SaverSettings s;
    LoadSettings(s, store, [folder] { return folder; });
    return s;
}

TEST(LoadSettings, EmptyStoreGivesAllDefaultsAndWritesNothing) {
    MemoryProfileStore store;
    const SaverSettings s = Load(store);
    EXPECT_EQ(s, SaverSettings::Defaults(kPictures));
    EXPECT_EQ(s.BGColor, 0u);
    EXPECT_EQ(s.BGAlpha, 100);
    EXPECT_EQ(s.FGColorKey, 254u);
    EXPECT_EQ(s.ImageMaxHeight, 80);
    EXPECT_EQ(s.ImageMaxWidth, 50);
    EXPECT_EQ(s.TimerInterval, 100);
    EXPECT_EQ(s.IncludeSubFolder, 1);
    EXPECT_EQ(s.BGCountFade, 30);
    EXPECT_EQ(s.ImageCountHide, 30);
    EXPECT_EQ(s.ImageCountAppear, 30);
    EXPECT_EQ(s.ImageCountShow, 30);
    EXPECT_EQ(s.ImageCountDisappear, 30);
    EXPECT_EQ(s.ImageMaxAlpha, 255);
    EXPECT_EQ(s.ImageShowRandom, 1);
    EXPECT_TRUE(store.m_values.empty());
}

TEST(LoadSettings, ReadsEachValueOnceInStoredOrderAskingTheShellBeforeTheFolder) {
    MemoryProfileStore store;
    SaverSettings s;
    LoadSettings(s, store, [&store] {
        store.m_log.push_back(u"shell");
        return kPictures;
    });
    const std::vector<std::u16string> expected = {
        u"read BGColor",          u"read BGAlpha",        u"read BGCountFade",
        u"read FGColorKey",       u"read ImageMaxHeight", u"read ImageMaxWidth",
        u"read TimerInterval",    u"read ImageCountHide", u"read ImageCountAppear",
        u"read ImageCountShow",   u"read ImageCountDisappear", u"read ImageMaxAlpha",
        u"read ImageShowRandom",  u"shell",               u"read ImageFolderPath",
        u"read IncludeSubFolder"};
    EXPECT_EQ(store.m_log, expected);
}

TEST(LoadSettings, KeepsOutOfRangeValuesAsStored) {
    MemoryProfileStore store;
    store.Put(u"BGAlpha", "REG_DWORD", EncodeStoredInteger(300));
    store.Put(u"TimerInterval", "REG_DWORD", EncodeStoredInteger(0));
    store.Put(u"ImageCountAppear", "REG_DWORD", EncodeStoredInteger(-5));
    store.Put(u"ImageMaxAlpha", "REG_DWORD",
              EncodeStoredInteger(std::numeric_limits<int32_t>::min()));
    store.Put(u"IncludeSubFolder", "REG_DWORD", EncodeStoredInteger(5));
    store.Put(u"BGColor", "REG_DWORD", EncodeStoredInteger(-1));
    const SaverSettings s = Load(store);
    EXPECT_EQ(s.BGAlpha, 300);
    EXPECT_EQ(s.TimerInterval, 0);
    EXPECT_EQ(s.ImageCountAppear, -5);
    EXPECT_EQ(s.ImageMaxAlpha, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(s.IncludeSubFolder, 5);
    EXPECT_EQ(s.BGColor, 0xFFFFFFFFu);
}

struct StoredIntegerCase {
    const char* label;
    std::string type;
    std::vector<uint8_t> bytes;
    int32_t expected;  // BGAlpha's default is 100
};

class StoredIntegerTest : public testing::TestWithParam<StoredIntegerCase> {};

TEST_P(StoredIntegerTest, IsTakenByItsBytesWhateverItsType) {
    MemoryProfileStore store;
    store.Put(u"BGAlpha", GetParam().type, GetParam().bytes);
    EXPECT_EQ(Load(store).BGAlpha, GetParam().expected) << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StoredIntegerTest,
    testing::Values(
        StoredIntegerCase{"dword", "REG_DWORD", {0x2A, 0, 0, 0}, 42},
        StoredIntegerCase{"negative dword", "REG_DWORD", {0xFF, 0xFF, 0xFF, 0xFF}, -1},
        StoredIntegerCase{"four-byte string L\"1\"", "REG_SZ", {'1', 0, 0, 0}, 0x31},
        StoredIntegerCase{"four-byte binary", "REG_BINARY", {1, 2, 3, 4}, 0x04030201},
        StoredIntegerCase{"three bytes fill the low bytes", "REG_BINARY", {1, 2, 3}, 0x030201},
        StoredIntegerCase{"one byte", "REG_BINARY", {0xC8}, 200},
        StoredIntegerCase{"no bytes", "REG_BINARY", {}, 0},
        StoredIntegerCase{"five bytes do not fit", "REG_BINARY", {1, 2, 3, 4, 5}, 100},
        StoredIntegerCase{"qword does not fit", "REG_QWORD", {1, 0, 0, 0, 0, 0, 0, 0}, 100},
        StoredIntegerCase{"longer string does not fit", "REG_SZ", {'2', 0, '0', 0, 0, 0}, 100}));

struct StoredStringCase {
    const char* label;
    std::string type;
    std::vector<uint8_t> bytes;
    std::u16string expected;
};

class StoredStringTest : public testing::TestWithParam<StoredStringCase> {};

TEST_P(StoredStringTest, EndsAtFirstNulAndIsNeverExpanded) {
    MemoryProfileStore store;
    store.Put(u"ImageFolderPath", GetParam().type, GetParam().bytes);
    EXPECT_EQ(Load(store).ImageFolderPath, GetParam().expected) << GetParam().label;
}

std::vector<uint8_t> Utf16Bytes(std::u16string_view s, bool nul) {
    std::vector<uint8_t> bytes = EncodeStoredString(s);
    if (!nul) {
        bytes.resize(bytes.size() - 2);
    }
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StoredStringTest,
    testing::Values(
        StoredStringCase{"plain", "REG_SZ", Utf16Bytes(u"D:\\Photos", true), u"D:\\Photos"},
        StoredStringCase{"empty stays empty", "REG_SZ", Utf16Bytes(u"", true), u""},
        StoredStringCase{"zero bytes are empty", "REG_SZ", {}, u""},
        StoredStringCase{"missing NUL", "REG_SZ", Utf16Bytes(u"D:\\P", false), u"D:\\P"},
        StoredStringCase{"embedded NUL cuts", "REG_SZ", Utf16Bytes(std::u16string(u"D:\\A\0B", 6), true),
                         u"D:\\A"},
        StoredStringCase{"expand string literal", "REG_EXPAND_SZ",
                         Utf16Bytes(u"%USERPROFILE%\\Pictures", true), u"%USERPROFILE%\\Pictures"},
        StoredStringCase{"dangling odd byte", "REG_SZ", {'D', 0, ':', 0, 'X'}, u"D:"},
        StoredStringCase{"dword read as text", "REG_DWORD", {'A', 0, 'B', 0}, u"AB"},
        StoredStringCase{"japanese", "REG_SZ", Utf16Bytes(u"C:\\写真\\旅行", true),
                         u"C:\\写真\\旅行"}));

TEST(LoadSettings, LongFolderIsKeptWhole) {
    MemoryProfileStore store;
    const std::u16string folder(40000, u'a');
    store.Put(u"ImageFolderPath", "REG_SZ", Utf16Bytes(folder, false));
    EXPECT_EQ(Load(store).ImageFolderPath, folder);
}

TEST(LoadSettings, UnknownPicturesFolderGivesEmptyDefault) {
    MemoryProfileStore store;
    EXPECT_EQ(Load(store, u"").ImageFolderPath, u"");
}

TEST(SaveSettings, WritesAllFifteenOnceInOrder) {
    MemoryProfileStore store;
    SaveSettings(SaverSettings::Defaults(kPictures), store);
    const std::vector<std::u16string> expected = {
        u"write BGColor",         u"write BGAlpha",          u"write FGColorKey",
        u"write BGCountFade",     u"write ImageMaxHeight",   u"write ImageMaxWidth",
        u"write TimerInterval",   u"write ImageCountHide",   u"write ImageCountAppear",
        u"write ImageCountShow",  u"write ImageCountDisappear", u"write ImageMaxAlpha",
        u"write ImageShowRandom", u"write ImageFolderPath",  u"write IncludeSubFolder"};
    EXPECT_EQ(store.m_log, expected);
    EXPECT_EQ(store.m_values.size(), 15u);
    EXPECT_EQ(store.m_values[u"ImageFolderPath"].type, "REG_SZ");
    EXPECT_EQ(store.m_values[u"ImageFolderPath"].bytes.size(), (kPictures.size() + 1) * 2);
    EXPECT_EQ(store.m_values[u"BGCountFade"].bytes, (std::vector<uint8_t>{30, 0, 0, 0}));
}

TEST(SaveSettings, RoundTripsEveryValueIncludingExtremes) {
    SaverSettings s = SaverSettings::Defaults(u"E:\\写真 \U0001F600");
    s.BGColor = 0x00FFEEDD;
    s.BGAlpha = std::numeric_limits<int32_t>::min();
    s.FGColorKey = 0xFFFFFFFF;
    s.ImageMaxHeight = std::numeric_limits<int32_t>::max();
    s.ImageMaxWidth = -1;
    s.TimerInterval = 1;
    s.IncludeSubFolder = 0;
    s.BGCountFade = 7;
    s.ImageCountHide = 8;
    s.ImageCountAppear = 9;
    s.ImageCountShow = 10;
    s.ImageCountDisappear = 11;
    s.ImageMaxAlpha = 300;
    s.ImageShowRandom = 2;
    MemoryProfileStore store;
    SaveSettings(s, store);
    EXPECT_EQ(Load(store), s);
}

TEST(SaveSettings, FailedWritesAreIgnored) {
    MemoryProfileStore store;
    store.m_failWrites = true;
    SaveSettings(SaverSettings::Defaults(kPictures), store);
    EXPECT_EQ(store.m_log.size(), 15u);
    EXPECT_TRUE(store.m_values.empty());
}

}  // namespace
}  // namespace quillmere
