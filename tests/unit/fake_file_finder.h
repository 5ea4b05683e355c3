// A file search over a tree held in memory, in the catalogue's path form ("C:\P\Sub").
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "show/file_finder.h"

namespace quillmere {

struct FakeEntry {
    std::u16string name;
    bool directory = false;
};

class FakeFileFinder final : public FileFinder {
public:
    // Folder path (no trailing backslash) -> entries in the order the search reports them.
    std::map<std::u16string, std::vector<FakeEntry>> m_folders;
    // Maps a searched folder to the one whose entries it shows (links); identity by default.
    std::function<std::u16string(const std::u16string&)> m_resolve = [](const std::u16string& f) {
        return f;
    };
    std::vector<std::u16string> m_patterns;  // every pattern started, refused ones included
    int m_open = 0;                          // searches open right now
    int m_maxOpen = 0;

    bool FindNext() override {
        if (m_entries == nullptr || m_index >= m_entries->size()) {
            return false;
        }
        m_currentEntry = (*m_entries)[m_index++];
        return m_index < m_entries->size();
    }
    bool IsDots() const override {
        return m_currentEntry.name == u"." || m_currentEntry.name == u"..";
    }
    bool IsDirectory() const override { return m_currentEntry.directory; }
    std::u16string GetFileName() const override { return m_currentEntry.name; }
    std::u16string GetFilePath() const override { return m_root + u"\\" + m_currentEntry.name; }
    void Close() override {
        if (m_entries != nullptr) {
            --m_open;
        }
        m_entries = nullptr;
    }

protected:
    bool Start(std::u16string_view pattern) override {
        m_patterns.emplace_back(pattern);
        if (pattern.size() < 4 || pattern.substr(pattern.size() - 4) != u"\\*.*") {
            return false;
        }
        m_root = std::u16string(pattern.substr(0, pattern.size() - 4));
        while (!m_root.empty() && m_root.back() == u'\\') {
            m_root.pop_back();
        }
        const auto it = m_folders.find(m_resolve(m_root));
        if (it == m_folders.end()) {
            return false;
        }
        m_entries = &it->second;
        m_index = 0;
        m_maxOpen = std::max(m_maxOpen, ++m_open);
        return true;
    }

private:
    const std::vector<FakeEntry>* m_entries = nullptr;
    size_t m_index = 0;
    std::u16string m_root;
    FakeEntry m_currentEntry;
};

}  // namespace quillmere
