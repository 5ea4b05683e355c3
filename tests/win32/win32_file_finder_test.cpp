// The catalogue over the real Windows file search: absolute entry paths, the pattern limit.
#include "platform/win32_file_finder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/wide_text.h"
#include "show/image_catalogue.h"

namespace quillmere {
namespace {

class Win32FileFinderTest : public testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
        root = std::wstring(temp) + L"quillmere-finder-" + std::to_wstring(GetCurrentProcessId());
        RemoveTree(root);
        ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
    }
    void TearDown() override { RemoveTree(root); }

    static void RemoveTree(const std::wstring& dir) {
        WIN32_FIND_DATAW data;
        HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &data);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = data.cFileName;
                if (name == L"." || name == L"..") {
                    continue;
                }
                const std::wstring path = dir + L"\\" + name;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveTree(path);
                } else {
                    DeleteFileW(path.c_str());
                }
            } while (FindNextFileW(h, &data));
            FindClose(h);
        }
        RemoveDirectoryW(dir.c_str());
    }

    void Touch(const std::wstring& relative) {
        const std::wstring path = root + L"\\" + relative;
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        CloseHandle(h);
    }
    void MakeDir(const std::wstring& relative) {
        ASSERT_TRUE(CreateDirectoryW((root + L"\\" + relative).c_str(), nullptr));
    }

    std::vector<std::u16string> Scan(const std::wstring& folder, int32_t sub) {
        Win32FileFinder finder;
        RandomSource random;
        ImageCatalogue catalogue(random);
        catalogue.ScanFolder(finder, FromWide(folder), sub);
        return catalogue.Entries();
    }

    std::wstring root;
};

TEST_F(Win32FileFinderTest, ScansTreeWithFoldedOrderAndFullPaths) {
    Touch(L"z.jpg");
    Touch(L"A.JPG");
    Touch(L"c.jpe");
    Touch(L"写真😀.jpeg");
    MakeDir(L"Sub");
    Touch(L"Sub\\b.jpg");
    Touch(L"Sub1.jpg");
    MakeDir(L"Trip.jpg");
    const std::u16string r = FromWide(root);
    EXPECT_EQ(Scan(root, 1),
              (std::vector<std::u16string>{r + u"\\A.JPG", r + u"\\Sub1.jpg", r + u"\\Sub\\b.jpg",
                                           r + u"\\Trip.jpg", r + u"\\z.jpg",
                                           r + u"\\写真😀.jpeg"}));
    EXPECT_EQ(Scan(root, 0).size(), 5u);
}

TEST_F(Win32FileFinderTest, TrailingBackslashAndRelativeFolderGiveAbsolutePaths) {
    Touch(L"a.jpg");
    const std::u16string r = FromWide(root);
    EXPECT_EQ(Scan(root + L"\\", 1), (std::vector<std::u16string>{r + u"\\a.jpg"}));
    MakeDir(L"rel");
    Touch(L"rel\\b.jpg");
    wchar_t previous[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(root.c_str()));
    const std::vector<std::u16string> relative = Scan(L"rel", 1);
    SetCurrentDirectoryW(previous);  // a current directory cannot be removed
    EXPECT_EQ(relative, (std::vector<std::u16string>{r + u"\\rel\\b.jpg"}));
}

TEST_F(Win32FileFinderTest, MissingFolderAndOverlongPatternFindNothing) {
    EXPECT_TRUE(Scan(root + L"\\missing", 1).empty());
    Win32FileFinder finder;
    const std::u16string longFolder = FromWide(root) + u"\\" + std::u16string(300, u'x');
    EXPECT_FALSE(finder.FindFile(longFolder + u"\\*.*"));
}

}  // namespace
}  // namespace quillmere
