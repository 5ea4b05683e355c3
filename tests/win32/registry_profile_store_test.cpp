// The settings against the real registry: key chain, value types and sizes as stored by others.
#include "platform/registry_profile_store.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/unique_handle.h"
#include "settings/settings_persistence.h"

namespace quillmere {
namespace {

const wchar_t kCompany[] = L"Brindlewick";

class RegistryProfileStoreTest : public testing::Test {
protected:
    void SetUp() override {
        // Each test gets its own application key, removed afterwards.
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("QuillmereTest.") + info->name();
        app.assign(name.begin(), name.end());
        RegDeleteTreeW(HKEY_CURRENT_USER, SectionPath().c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, AppPath().c_str());
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, AppPath().c_str()); }

    std::wstring AppPath() const { return std::wstring(L"Software\\") + kCompany + L"\\" + app; }
    std::wstring SectionPath() const { return AppPath() + L"\\Setting"; }

    bool SectionExists() const {
        UniqueHKey key;
        return RegOpenKeyExW(HKEY_CURRENT_USER, SectionPath().c_str(), 0, KEY_READ, key.put()) ==
               ERROR_SUCCESS;
    }

    DWORD ValueCount() const {
        UniqueHKey key;
        DWORD count = 0;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, SectionPath().c_str(), 0, KEY_READ, key.put()) ==
            ERROR_SUCCESS) {
            RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             &count, nullptr, nullptr, nullptr, nullptr);
        }
        return count;
    }

    void PutRaw(const wchar_t* name, DWORD type, std::vector<uint8_t> bytes) {
        UniqueHKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, SectionPath().c_str(), 0, nullptr, 0,
                                  KEY_WRITE, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key.get(), name, 0, type, bytes.empty() ? nullptr : bytes.data(),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }

    std::vector<uint8_t> GetRaw(const wchar_t* name, DWORD* type) {
        UniqueHKey key;
        std::vector<uint8_t> bytes(1 << 20);
        DWORD size = static_cast<DWORD>(bytes.size());
        if (RegOpenKeyExW(HKEY_CURRENT_USER, SectionPath().c_str(), 0, KEY_READ, key.put()) !=
                ERROR_SUCCESS ||
            RegQueryValueExW(key.get(), name, nullptr, type, bytes.data(), &size) !=
                ERROR_SUCCESS) {
            return {};
        }
        bytes.resize(size);
        return bytes;
    }

    SaverSettings Load() {
        RegistryProfileStore store(u"Brindlewick", std::u16string(app.begin(), app.end()));
        SaverSettings s;
        LoadSettings(s, store, [] { return std::u16string(u"C:\\Pictures"); });
        return s;
    }

    std::wstring app;
};

std::vector<uint8_t> Utf16(const std::wstring& s, bool nul) {
    std::vector<uint8_t> b;
    for (wchar_t c : s) {
        b.push_back(static_cast<uint8_t>(c & 0xFF));
        b.push_back(static_cast<uint8_t>(c >> 8));
    }
    if (nul) {
        b.insert(b.end(), {0, 0});
    }
    return b;
}

TEST_F(RegistryProfileStoreTest, FirstLoadCreatesTheKeyChainButNoValues) {
    EXPECT_FALSE(SectionExists());
    EXPECT_EQ(Load(), SaverSettings::Defaults(u"C:\\Pictures"));
    EXPECT_TRUE(SectionExists());
    EXPECT_EQ(ValueCount(), 0u);
}

TEST_F(RegistryProfileStoreTest, SaveWritesFifteenTypedValuesThatLoadBack) {
    SaverSettings s = SaverSettings::Defaults(u"D:\\写真\\😀");
    s.BGAlpha = 300;
    s.ImageCountShow = -7;
    RegistryProfileStore store(u"Brindlewick", std::u16string(app.begin(), app.end()));
    SaveSettings(s, store);
    EXPECT_EQ(ValueCount(), 15u);
    DWORD type = 0;
    EXPECT_EQ(GetRaw(L"BGAlpha", &type), (std::vector<uint8_t>{0x2C, 1, 0, 0}));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(GetRaw(L"ImageFolderPath", &type), Utf16(L"D:\\写真\\😀", true));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Load(), s);
}

struct RawIntegerCase {
    const char* label;
    DWORD type;
    std::vector<uint8_t> bytes;
    int32_t expected;  // BGAlpha, default 100
};

class RegistryIntegerTest : public RegistryProfileStoreTest,
                            public testing::WithParamInterface<RawIntegerCase> {};

TEST_P(RegistryIntegerTest, IsTakenByItsBytesWhateverItsType) {
    PutRaw(L"BGAlpha", GetParam().type, GetParam().bytes);
    EXPECT_EQ(Load().BGAlpha, GetParam().expected) << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistryIntegerTest,
    testing::Values(
        RawIntegerCase{"dword", REG_DWORD, {7, 0, 0, 0}, 7},
        RawIntegerCase{"four-byte string", REG_SZ, {'1', 0, 0, 0}, 0x31},
        RawIntegerCase{"three-byte binary", REG_BINARY, {1, 2, 3}, 0x030201},
        RawIntegerCase{"four-byte binary", REG_BINARY, {0xFF, 0xFF, 0xFF, 0x7F}, 0x7FFFFFFF},
        RawIntegerCase{"five-byte binary", REG_BINARY, {1, 2, 3, 4, 5}, 100},
        RawIntegerCase{"qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, 100},
        RawIntegerCase{"long string", REG_SZ, {'2', 0, '0', 0, '0', 0, 0, 0}, 100}));

struct RawStringCase {
    const char* label;
    DWORD type;
    std::vector<uint8_t> bytes;
    std::u16string expected;
};

class RegistryStringTest : public RegistryProfileStoreTest,
                           public testing::WithParamInterface<RawStringCase> {};

TEST_P(RegistryStringTest, EndsAtFirstNulAndIsNotExpanded) {
    PutRaw(L"ImageFolderPath", GetParam().type, GetParam().bytes);
    EXPECT_EQ(Load().ImageFolderPath, GetParam().expected) << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistryStringTest,
    testing::Values(
        RawStringCase{"expand string", REG_EXPAND_SZ, Utf16(L"%USERPROFILE%\\P", true),
                      u"%USERPROFILE%\\P"},
        RawStringCase{"empty", REG_SZ, Utf16(L"", true), u""},
        RawStringCase{"missing NUL", REG_SZ, Utf16(L"D:\\P", false), u"D:\\P"},
        RawStringCase{"odd size", REG_BINARY, {'D', 0, ':', 0, 'x'}, u"D:"},
        RawStringCase{"dword as text", REG_DWORD, {'A', 0, 'B', 0}, u"AB"}));

TEST_F(RegistryProfileStoreTest, FortyThousandCharacterFolderWithoutNul) {
    const std::wstring folder(40000, L'q');
    PutRaw(L"ImageFolderPath", REG_SZ, Utf16(folder, false));
    EXPECT_EQ(Load().ImageFolderPath, std::u16string(40000, u'q'));
}

}  // namespace
}  // namespace quillmere
