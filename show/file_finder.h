// The file search the catalogue walks with: a wildcard search over one folder at a time.
#pragma once

#include <string>
#include <string_view>

namespace quillmere {

class FileFinder {
public:
    // Patterns of this many UTF-16 units or more are refused, as the platform's search refuses
    // them; a loop of folder links therefore ends once its path grows this long.
    static constexpr size_t kMaxPatternLength = 260;

    virtual ~FileFinder() = default;

    // Starts a search; false when nothing can be searched (folder missing, access denied,
    // pattern too long). A previous search is ended first.
    bool FindFile(std::u16string_view pattern) {
        Close();
        if (pattern.size() >= kMaxPatternLength) {
            return false;
        }
        return Start(pattern);
    }

    // Steps to the next entry and tells whether a further one follows; the entry stepped to is
    // valid either way.
    virtual bool FindNext() = 0;

    virtual bool IsDots() const = 0;
    virtual bool IsDirectory() const = 0;
    // The entry's name, without its folder.
    virtual std::u16string GetFileName() const = 0;
    // The searched folder's absolute path, a backslash, the name.
    virtual std::u16string GetFilePath() const = 0;

    virtual void Close() = 0;

protected:
    virtual bool Start(std::u16string_view pattern) = 0;
};

}  // namespace quillmere
