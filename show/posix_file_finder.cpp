#include "show/posix_file_finder.h"

#include <sys/stat.h>

#include "show/utf.h"

namespace quillmere {

bool PosixFileFinder::Start(std::u16string_view pattern) {
    // Only the catalogue's "<folder>\*.*" patterns are asked for: list the folder.
    const size_t sep = pattern.find_last_of(u'\\');
    if (sep == std::u16string_view::npos || pattern.substr(sep + 1) != u"*.*") {
        return false;
    }
    m_root = std::u16string(pattern.substr(0, sep));
    std::u16string native = m_root;
    for (char16_t& c : native) {
        if (c == u'\\') {
            c = u'/';
        }
    }
    m_folder = Utf16ToUtf8(native);
    m_dir = opendir(m_folder.empty() ? "/" : m_folder.c_str());
    if (m_dir == nullptr) {
        return false;
    }
    return ReadAhead();
}

bool PosixFileFinder::ReadAhead() {
    const dirent* entry = readdir(m_dir);
    m_hasNext = entry != nullptr;
    if (m_hasNext) {
        m_nextName = entry->d_name;
    }
    return m_hasNext;
}

bool PosixFileFinder::FindNext() {
    if (m_dir == nullptr || !m_hasNext) {
        return false;
    }
    m_name = Utf8ToUtf16(m_nextName);
    struct stat st {};
    const std::string full = m_folder + "/" + m_nextName;
    // Links are followed, as the platform's search follows directory links.
    m_isDirectory = stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    return ReadAhead();
}

bool PosixFileFinder::IsDots() const {
    return m_name == u"." || m_name == u"..";
}

std::u16string PosixFileFinder::GetFilePath() const {
    std::u16string path = m_root;
    path += u'\\';
    path += m_name;
    return path;
}

void PosixFileFinder::Close() {
    if (m_dir != nullptr) {
        closedir(m_dir);
        m_dir = nullptr;
    }
    m_hasNext = false;
}

}  // namespace quillmere
