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
    const size_t count = m_entries.size();
    if (count < 2) {
        return;
    }
    // Paths of one scan share their folder: what all of them share is skipped, and the next four
    // folded units, packed into one integer, decide most comparisons without touching the text.
    size_t shared = m_entries[0].size();
    for (size_t i = 1; i < count && shared > 0; ++i) {
        const std::u16string& a = m_entries[0];
        const std::u16string& b = m_entries[i];
        const size_t limit = std::min({shared, a.size(), b.size()});
        size_t k = 0;
        while (k < limit && Fold(a[k]) == Fold(b[k])) {
            ++k;
        }
        shared = k;
    }

    struct Key {
        uint64_t head;         // folded units shared..shared+3, zero-padded
        const char16_t* text;  // the path
        uint32_t length;
        uint32_t index;        // position before sorting: equal paths keep their order
    };
    std::vector<Key> keys(count);
    for (size_t i = 0; i < count; ++i) {
        const std::u16string& p = m_entries[i];
        uint64_t head = 0;
        for (size_t k = 0; k < 4; ++k) {
            const size_t at = shared + k;
            head = (head << 16) | (at < p.size() ? Fold(p[at]) : 0u);
        }
        keys[i] = {head, p.data(), static_cast<uint32_t>(p.size()), static_cast<uint32_t>(i)};
    }
    const size_t from = shared + 4;
    const auto less = [from](const Key& a, const Key& b) {
        if (a.head != b.head) {
            return a.head < b.head;
        }
        const size_t n = std::min(a.length, b.length);
        for (size_t k = from; k < n; ++k) {
            const char16_t x = Fold(a.text[k]);
            const char16_t y = Fold(b.text[k]);
            if (x != y) {
                return x < y;
            }
        }
        if (a.length != b.length) {
            return a.length < b.length;
        }
        return a.index < b.index;
    };
    // A file search that reports each folder in order gives a list that is mostly in order
    // already; checking costs one pass.
    if (std::is_sorted(keys.begin(), keys.end(), less)) {
        return;
    }
    std::sort(keys.begin(), keys.end(), less);

    std::vector<std::u16string> sorted;
    sorted.reserve(count);
    for (const Key& key : keys) {
        sorted.push_back(std::move(m_entries[key.index]));
    }
    m_entries = std::move(sorted);
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
