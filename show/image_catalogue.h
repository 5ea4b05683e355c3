// The list of photo files the show picks from: built once, kept in case-folded path order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "show/file_finder.h"
#include "show/random_source.h"

namespace quillmere {

class ImageCatalogue {
public:
    explicit ImageCatalogue(RandomSource& random) : m_random(random) {}

    void Clear();

    // Appends the ".jpg"/".jpeg" entries of `folder` (and, when `includeSubFolders` is non-zero,
    // of every folder below it, depth first), then sorts the whole list.
    void ScanFolder(FileFinder& finder, std::u16string_view folder, int32_t includeSubFolders);

    void Sort();

    // The next entry in order, or one at random; nothing when the catalogue is empty.
    std::optional<std::u16string> ChooseNext(int32_t random);

    const std::vector<std::u16string>& Entries() const { return m_entries; }
    int32_t Current() const { return m_current; }

    // Test and benchmark access: fills the list without a file search.
    void AppendForTest(std::u16string path) { m_entries.push_back(std::move(path)); }

private:
    void ScanInto(FileFinder& finder, std::u16string_view folder, int32_t includeSubFolders);

    RandomSource& m_random;
    std::vector<std::u16string> m_entries;
    int32_t m_current = -1;
};

// True when the name's extension (from its last dot) folds to ".jpg" or ".jpeg".
bool HasPhotoExtension(std::u16string_view name);

// Catalogue order: A-Z folded to a-z, then 16-bit code units compared unsigned; a path that ends
// where the other goes on is the smaller.
bool CatalogueLess(std::u16string_view a, std::u16string_view b);

// The random choice's index: r * count / 32767, wrapped to 0 when it reaches count. Wider
// arithmetic gives the 32-bit results for every catalogue where those do not overflow.
int32_t RandomIndex(int32_t r, size_t count);

}  // namespace quillmere
