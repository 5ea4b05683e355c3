#include "platform/win32_file_finder.h"

#include <vector>

#include "platform/wide_text.h"

namespace quillmere {

namespace {

// The folder part of a pattern as an absolute path: entry paths are that, a backslash, the name.
std::wstring AbsoluteRoot(const std::wstring& pattern) {
    const DWORD needed = GetFullPathNameW(pattern.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return {};
    }
    std::vector<wchar_t> buffer(needed);
    wchar_t* filePart = nullptr;
    const DWORD length = GetFullPathNameW(pattern.c_str(), needed, buffer.data(), &filePart);
    if (length == 0 || length >= needed) {
        return {};
    }
    std::wstring root(buffer.data(), filePart != nullptr ? filePart - buffer.data() : length);
    while (!root.empty() && (root.back() == L'\\' || root.back() == L'/')) {
        root.pop_back();
    }
    return root;
}

}  // namespace

bool Win32FileFinder::Start(std::u16string_view pattern) {
    const std::wstring widePattern = ToWide(pattern);
    m_find.reset(FindFirstFileExW(widePattern.c_str(), FindExInfoBasic, &m_next,
                                  FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!m_find) {
        return false;
    }
    m_root = AbsoluteRoot(widePattern);
    m_hasNext = true;
    return true;
}

bool Win32FileFinder::FindNext() {
    if (!m_find || !m_hasNext) {
        return false;
    }
    m_current = m_next;
    m_hasNext = ::FindNextFileW(m_find.get(), &m_next) != FALSE;
    return m_hasNext;
}

bool Win32FileFinder::IsDots() const {
    const wchar_t* n = m_current.cFileName;
    return (n[0] == L'.' && n[1] == L'\0') || (n[0] == L'.' && n[1] == L'.' && n[2] == L'\0');
}

bool Win32FileFinder::IsDirectory() const {
    return (m_current.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::u16string Win32FileFinder::GetFileName() const {
    return FromWide(m_current.cFileName);
}

std::u16string Win32FileFinder::GetFilePath() const {
    std::wstring path = m_root;
    path += L'\\';
    path += m_current.cFileName;
    return FromWide(path);
}

void Win32FileFinder::Close() {
    m_find.reset();
    m_hasNext = false;
}

}  // namespace quillmere
