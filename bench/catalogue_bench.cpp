// Catalogue benchmark: how long building the photo list takes, split into the file search, the
// sort and the choices, over a generated tree. Prints figures; asserts nothing.
//
//   catalogue_bench generate DIR [FILES] [FOLDERS]   make a tree of photo-named files
//   catalogue_bench scan DIR                          walk, sort and choose over DIR
//   catalogue_bench sort COUNT                        sort COUNT synthetic paths
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "show/image_catalogue.h"
#include "show/utf.h"

#ifdef _WIN32
#include "platform/win32_file_finder.h"
using NativeFinder = quillmere::Win32FileFinder;
#else
#include <sys/stat.h>

#include <fstream>

#include "show/posix_file_finder.h"
using NativeFinder = quillmere::PosixFileFinder;
#endif

namespace {

using quillmere::ImageCatalogue;
using quillmere::RandomSource;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// The catalogue's path form of a folder given on the command line.
std::u16string CataloguePath(const std::string& dir) {
    std::u16string path = quillmere::Utf8ToUtf16(dir);
#ifndef _WIN32
    for (char16_t& c : path) {
        if (c == u'/') {
            c = u'\\';
        }
    }
#endif
    while (path.size() > 1 && path.back() == u'\\') {
        path.pop_back();
    }
    return path;
}

// Walks the tree the way the scan does, without keeping or sorting anything.
size_t Walk(quillmere::FileFinder& finder, const std::u16string& folder) {
    size_t photos = 0;
    std::vector<std::u16string> subFolders;
    if (finder.FindFile(folder + u"\\*.*")) {
        bool more = true;
        while (more) {
            more = finder.FindNext();
            if (finder.IsDots()) {
                continue;
            }
            photos += quillmere::HasPhotoExtension(finder.GetFileName()) ? 1 : 0;
            if (finder.IsDirectory()) {
                subFolders.push_back(finder.GetFilePath());
            }
        }
    }
    finder.Close();
    for (const auto& sub : subFolders) {
        photos += Walk(finder, sub);
    }
    return photos;
}

int Scan(const std::string& dir) {
    const std::u16string root = CataloguePath(dir);
    NativeFinder finder;

    // Warm the file system's caches so that the figures compare like with like.
    Walk(finder, root);
    auto start = Clock::now();
    const size_t walked = Walk(finder, root);
    const double walkSeconds = Seconds(start);

    RandomSource random;
    ImageCatalogue catalogue(random);
    start = Clock::now();
    catalogue.ScanFolder(finder, root, 1);
    const double scanSeconds = Seconds(start);
    const size_t count = catalogue.Entries().size();

    // Sort again from the order the file system reported, to time the sort alone.
    std::vector<std::u16string> unsorted = catalogue.Entries();
    std::shuffle(unsorted.begin(), unsorted.end(), std::mt19937(1));
    ImageCatalogue resorted(random);
    for (auto& p : unsorted) {
        resorted.AppendForTest(std::move(p));
    }
    start = Clock::now();
    resorted.Sort();
    const double sortSeconds = Seconds(start);

    // One choice per photo, alternating random and order: a whole pass through the catalogue.
    start = Clock::now();
    size_t chars = 0;
    for (size_t i = 0; i < count; ++i) {
        chars += catalogue.ChooseNext(static_cast<int32_t>(i & 1))->size();
    }
    const double chooseSeconds = Seconds(start);

    std::printf("photos found           %zu (walk saw %zu)\n", count, walked);
    std::printf("enumeration            %.3f s  (%.0f files/s)\n", walkSeconds,
                walked / walkSeconds);
    std::printf("scan + sort            %.3f s  (%.0f files/s)\n", scanSeconds,
                count / scanSeconds);
    std::printf("sort alone             %.3f s\n", sortSeconds);
    std::printf("1 choice per photo     %.3f s  (%zu path units read)\n", chooseSeconds, chars);
    std::printf("sort+choose/enumerate  %.1f %%\n",
                100.0 * (sortSeconds + chooseSeconds) / walkSeconds);
    return count == walked ? 0 : 1;
}

int SortSynthetic(size_t count) {
    std::mt19937 rng(42);
    RandomSource random;
    ImageCatalogue catalogue(random);
    for (size_t i = 0; i < count; ++i) {
        const unsigned folder = rng() % 2000;
        char name[96];
        std::snprintf(name, sizeof name, "C:\\Users\\me\\Pictures\\%s%04u\\IMG_%08u.%s",
                      rng() % 2 ? "Trip" : "trip", folder, static_cast<unsigned>(rng()),
                      rng() % 3 ? "jpg" : "JPG");
        catalogue.AppendForTest(quillmere::Utf8ToUtf16(name));
    }
    const auto start = Clock::now();
    catalogue.Sort();
    std::printf("sorted %zu paths in    %.3f s\n", count, Seconds(start));
    return 0;
}

#ifndef _WIN32
int Generate(const std::string& dir, size_t files, size_t folders) {
    const char* ext[] = {"jpg", "JPG", "jpeg", "Jpeg"};
    const size_t perGroup = 50;
    const size_t perFolder = (files + folders - 1) / folders;
    size_t made = 0;
    mkdir(dir.c_str(), 0755);
    for (size_t f = 0; f < folders && made < files; ++f) {
        const std::string group = dir + "/Group" + std::to_string(f / perGroup);
        mkdir(group.c_str(), 0755);
        const std::string folder = group + "/Album " + std::to_string(f);
        mkdir(folder.c_str(), 0755);
        for (size_t i = 0; i < perFolder && made < files; ++i, ++made) {
            std::ofstream(folder + "/IMG_" + std::to_string(made) + "." + ext[made % 4]);
        }
    }
    std::printf("generated %zu files in %zu folders under %s\n", made, folders, dir.c_str());
    return 0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    const std::string verb = argc > 1 ? argv[1] : "";
    if (verb == "scan" && argc > 2) {
        return Scan(argv[2]);
    }
    if (verb == "sort" && argc > 2) {
        return SortSynthetic(std::strtoul(argv[2], nullptr, 10));
    }
#ifndef _WIN32
    if (verb == "generate" && argc > 2) {
        return Generate(argv[2], argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 100000,
                        argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 2000);
    }
#endif
    std::fprintf(stderr, "usage: catalogue_bench generate DIR [FILES] [FOLDERS] | scan DIR | sort COUNT\n");
    return 2;
}
