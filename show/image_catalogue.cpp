#include "show/image_catalogue.h"

#include <algorithm>
#include <limits>

namespace quillmere {

namespace {

constexpr char16_t Fold(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

std::u16string Folded(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) {
        c = Fold(c);
    }
    return out;
}

}  // namespace

bool HasPhotoExtension(std::u16string_view name) {
    const size_t dot = name.find_last_of(u'.');
    if (dot == std::u16string_view::npos) {
        return false;
    }
    const std::u16string ext = Folded(name.substr(dot));
    return ext == u".jpg" || ext == u".jpeg";
}

bool CatalogueLess(std::u16string_view a, std::u16string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const char16_t x = Fold(a[i]);
        const char16_t y = Fold(b[i]);
        if (x != y) {
            return x < y;
        }
    }
    return a.size() < b.size();
}

int32_t RandomIndex(int32_t r, size_t count) {
    const int64_t index = static_cast<int64_t>(r) * static_cast<int64_t>(count) / RandomSource::kMax;
    return index >= static_cast<int64_t>(count) ? 0 : static_cast<int32_t>(index);
}

void ImageCatalogue::Clear() {
    m_entries.clear();
    m_entries.shrink_to_fit();
}

void ImageCatalogue::ScanFolder(FileFinder& finder, std::u16string_view folder,
                                int32_t includeSubFolders) {
    if (folder.empty()) {
        return;
    }
    ScanInto(finder, folder, includeSubFolders);
    // One stable sort at the end gives the order that sorting after every nested folder would.
    Sort();
}

void ImageCatalogue::ScanInto(FileFinder& finder, std::u16string_view folder,
                              int32_t includeSubFolders) {
    std::u16string pattern(folder);
    pattern += u"\\*.*";
    if (!finder.FindFile(pattern)) {
        finder.Close();
        return;
    }
    // Sub-folders are scanned after this folder's search has ended, so that only one search is
    // open at a time however deep the tree; they keep the order in which they were reported.
    std::vector<std::u16string> subFolders;
    bool more = true;
    while (more) {
        more = finder.FindNext();
        if (finder.IsDots()) {
            continue;
        }
        std::u16string path = finder.GetFilePath();
        if (HasPhotoExtension(finder.GetFileName())) {
            m_entries.push_back(path);
        }
        if (includeSubFolders != 0 && finder.IsDirectory()) {
            subFolders.push_back(std::move(path));
        }
    }
    finder.Close();
    for (const std::u16string& sub : subFolders) {
        ScanInto(finder, sub, includeSubFolders);
    }
}

void ImageCatalogue::Sort() {
    if (m_entries.size() < 2) {
        return;
    }
    // Fold each path once, not at every comparison; the stable sort never swaps equal paths.
    struct Keyed {
        std::u16string key;
        std::u16string path;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(m_entries.size());
    for (std::u16string& path : m_entries) {
        std::u16string key = Folded(path);
        keyed.push_back({std::move(key), std::move(path)});
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
    for (size_t i = 0; i < keyed.size(); ++i) {
        m_entries[i] = std::move(keyed[i].path);
    }
}

std::optional<std::u16string> ImageCatalogue::ChooseNext(int32_t random) {
    const size_t count = m_entries.size();
    if (count == 0) {
        return std::nullopt;
    }
    if (random != 0) {
        m_current = RandomIndex(m_random.Next(), count);
    } else {
        m_current = m_current == std::numeric_limits<int32_t>::max() ? 0 : m_current + 1;
    }
    if (m_current < 0 || static_cast<size_t>(m_current) >= count) {
        m_current = 0;
    }
    return m_entries[static_cast<size_t>(m_current)];
}

}  // namespace quillmere
