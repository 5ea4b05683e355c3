// The catalogue's file search on Windows: FindFirstFileExW over one folder at a time.
#pragma once

#include <windows.h>

#include <string>

#include "platform/unique_handle.h"
#include "show/file_finder.h"

namespace quillmere {

class Win32FileFinder final : public FileFinder {
public:
    Win32FileFinder() = default;
    Win32FileFinder(const Win32FileFinder&) = delete;
    Win32FileFinder& operator=(const Win32FileFinder&) = delete;

    bool FindNext() override;
    bool IsDots() const override;
    bool IsDirectory() const override;
    std::u16string GetFileName() const override;
    std::u16string GetFilePath() const override;
    void Close() override;

protected:
    bool Start(std::u16string_view pattern) override;

private:
    UniqueFindHandle m_find;
    std::wstring m_root;        // absolute folder of the search, without a trailing backslash
    WIN32_FIND_DATAW m_next{};  // the entry read ahead
    WIN32_FIND_DATAW m_current{};
    bool m_hasNext = false;
};

}  // namespace quillmere
