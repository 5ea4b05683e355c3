// The catalogue's file search over a POSIX file system, for native tests and benchmarks. Paths
// keep the Windows form the catalogue builds ("\" between components); they are mapped to "/"
// only when the file system is asked.
#pragma once

#include <dirent.h>

#include <string>

#include "show/file_finder.h"

namespace quillmere {

class PosixFileFinder final : public FileFinder {
public:
    PosixFileFinder() = default;
    PosixFileFinder(const PosixFileFinder&) = delete;
    PosixFileFinder& operator=(const PosixFileFinder&) = delete;
    ~PosixFileFinder() override { Close(); }

    bool FindNext() override;
    bool IsDots() const override;
    bool IsDirectory() const override { return m_isDirectory; }
    std::u16string GetFileName() const override { return m_name; }
    std::u16string GetFilePath() const override;
    void Close() override;

protected:
    bool Start(std::u16string_view pattern) override;

private:
    bool ReadAhead();

    DIR* m_dir = nullptr;
    std::string m_folder;       // native form, for stat
    std::u16string m_root;      // catalogue form, for entry paths
    std::string m_nextName;     // the entry read ahead, if any
    bool m_hasNext = false;
    std::u16string m_name;
    bool m_isDirectory = false;
};

}  // namespace quillmere
