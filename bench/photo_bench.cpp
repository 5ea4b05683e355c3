// Photo benchmark, run under Wine: for each photo, the platform's decode time, our own added time
// (reading, header, orientation, scaling), the paint time, and the memory held. Prints figures.
//   photo_bench_win.exe FILE...
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <memory>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/gdi.h"
#include "platform/wic_decoder.h"
#include "show/CPhoto.h"

namespace {

using namespace quillmere;
using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// Wine leaves the private-bytes counter at 0; under Wine the Linux process's own anonymous
// resident memory (its drive Z: is the root folder) stands for it.
double PrivateMiB() {
    if (FILE* status = _wfopen(L"Z:\\proc\\self\\status", L"r")) {
        char line[256];
        double kib = -1;
        while (std::fgets(line, sizeof line, status) != nullptr) {
            if (std::sscanf(line, "VmHWM: %lf", &kib) == 1) {
                break;
            }
        }
        std::fclose(status);
        if (kib >= 0) {
            return kib / 1024.0;
        }
    }
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(),
                         reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
    return counters.PrivateUsage / 1048576.0;
}

constexpr Size32 kScreen{1920, 1080};

void Measure(const std::wstring& path) {
    // Platform decode: opening the frame and converting its pixels at the stored size.
    auto start = Clock::now();
    WicDecoder decoder;
    if (!decoder.Open(path)) {
        std::printf("%ls: refused\n", path.c_str());
        return;
    }
    const double openMs = Ms(start);
    const PhotoPlan plan = PlanPhoto(decoder.StoredSize(), decoder.Orientation(), kScreen, 50, 80);
    const Size32 stored = decoder.StoredSize();
    std::vector<uint8_t> full(static_cast<size_t>(stored.width) * stored.height * 4);
    start = Clock::now();
    decoder.CopyPixels(stored, {full.data(), stored.width, stored.height, stored.width * 4});
    const double copyMs = Ms(start);

    // Our own part: orientation, area average, composite.
    const int32_t w = plan.region.right;
    const int32_t h = plan.region.bottom;
    std::vector<uint8_t> scaled(static_cast<size_t>(w) * h * 4);
    start = Clock::now();
    ResampleRegion({full.data(), stored.width, stored.height, stored.width * 4},
                   decoder.Orientation(), plan.scaled, plan.region, {scaled.data(), w, h, w * 4});
    CompositeOver({scaled.data(), w, h, w * 4}, 0xFE);
    const double resampleMs = Ms(start);
    full = {};

    // The same steps into a fresh, untouched buffer, as the photo window's load does them.
    {
        start = Clock::now();
        WicDecoder again;
        again.Open(path);
        const double reopenMs = Ms(start);
        start = Clock::now();
        const std::unique_ptr<uint8_t[]> fresh(
            new uint8_t[static_cast<size_t>(stored.width) * stored.height * 4]);
        again.CopyPixels(stored, {fresh.get(), stored.width, stored.height, stored.width * 4});
        const double freshMs = Ms(start);
        std::printf("  again: open %.1f ms, pixels into a fresh buffer %.1f ms\n", reopenMs,
                    freshMs);
    }

    // The whole load as the photo window does it, and the memory it keeps.
    const double before = PrivateMiB();
    CPhoto photo;
    start = Clock::now();
    photo.Load(std::u16string(path.begin(), path.end()), kScreen, 50, 80, 0xFE);
    const double loadMs = Ms(start);
    const double kept = PrivateMiB() - before;

    // The paint: a fresh screen-sized back buffer, the key fill, the photo, one copy.
    HDC screen = GetDC(nullptr);
    double paintMs = 0;
    const int rounds = 20;
    for (int i = 0; i < rounds; ++i) {
        start = Clock::now();
        UniqueMemoryDC memory(CreateCompatibleDC(screen));
        UniqueBitmap buffer(CreateCompatibleBitmap(screen, kScreen.width, kScreen.height));
        {
            ScopedSelect select(memory.get(), buffer.get());
            FillSolidRect(memory.get(), {0, 0, kScreen.width, kScreen.height}, 0xFE);
            photo.Draw(memory.get(), {100, 100, 100 + plan.scaled.width, 100 + plan.scaled.height});
            BitBlt(screen, 0, 0, kScreen.width, kScreen.height, memory.get(), 0, 0, SRCCOPY);
        }
        GdiFlush();
        paintMs += Ms(start);
    }
    ReleaseDC(nullptr, screen);

    std::printf("%ls: %dx%d -> %dx%d\n", path.c_str(), stored.width, stored.height,
                plan.scaled.width, plan.scaled.height);
    std::printf("  platform decode   %7.1f ms (open %.1f + pixels %.1f)\n", openMs + copyMs,
                openMs, copyMs);
    std::printf("  ours (scale etc.) %7.1f ms\n", resampleMs);
    std::printf("  whole load        %7.1f ms, keeps %.1f MiB, process %.1f MiB\n", loadMs, kept,
                PrivateMiB());
    std::printf("  paint 1920x1080   %7.2f ms\n", paintMs / rounds);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ScopedComApartment com;
    for (int i = 1; i < argc; ++i) {
        Measure(argv[i]);
    }
    return 0;
}
