// Photo benchmark, run under Wine: for each photo, the platform's decode time (opening the
// decoder and its pixel copies), our own time beside it (band buffer, orientation, scaling,
// composite), the whole load as the photo window does it, the paint, and the memory the load
// takes at its peak and keeps, read from our Linux process. Times are the best and the median of
// the rounds. Prints figures.
//   photo_bench_win.exe [--rounds N] [--copy-rows N] [--linux-pid N] FILE...
// --copy-rows sets the rows of one decoder request in the split-up render (the load keeps its
// own); --linux-pid names our Linux process when it cannot be found.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <optional>
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

// Reads a whole small file; under Wine, Z: is the Linux root.
std::optional<std::string> ReadText(const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) {
        return std::nullopt;
    }
    std::string text;
    char chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        text.append(chunk, got);
    }
    std::fclose(file);
    return text;
}

// The memory of our own Linux process under Wine. Windows' counters stay near 0 there, and
// Z:\proc\self is the Wine server's, which opens every file for its clients: the process is
// found by its name and a mapping only it has, a read-only block of a random size.
class LinuxProcess {
public:
    struct Memory {
        double rssMiB = -1;   // resident now
        double peakMiB = -1;  // the most resident since the start or the last ResetPeak
    };

    explicit LinuxProcess(long pid) : m_pid(pid) {}

    bool Find() {
        LARGE_INTEGER counter{};
        QueryPerformanceCounter(&counter);
        const SIZE_T size = SIZE_T((counter.QuadPart ^ GetCurrentProcessId()) % 4093 + 17) << 16;
        void* marker = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        DWORD old = 0;
        if (marker == nullptr || !VirtualProtect(marker, size, PAGE_READONLY, &old)) {
            return false;
        }
        char line[64];
        std::snprintf(line, sizeof line, "\n%08llx-%08llx r--p",
                      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(marker)),
                      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(marker) + size));
        const std::string name = "Name:\t" + OwnName() + "\n";
        WIN32_FIND_DATAW found{};
        HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &found);
        m_pid = 0;
        while (search != INVALID_HANDLE_VALUE && m_pid == 0) {
            const long pid = std::wcstol(found.cFileName, nullptr, 10);
            if (pid > 0) {
                const std::wstring dir = L"Z:\\proc\\" + std::to_wstring(pid);
                const std::optional<std::string> status = ReadText(dir + L"\\status");
                if (status && status->compare(0, name.size(), name) == 0) {
                    const std::optional<std::string> maps = ReadText(dir + L"\\maps");
                    if (maps && ("\n" + *maps).find(line) != std::string::npos) {
                        m_pid = pid;
                    }
                }
            }
            if (!FindNextFileW(search, &found)) {
                break;
            }
        }
        if (search != INVALID_HANDLE_VALUE) {
            FindClose(search);
        }
        VirtualFree(marker, 0, MEM_RELEASE);
        return m_pid != 0;
    }

    long Pid() const { return m_pid; }

    Memory Read() const {
        Memory memory;
        if (m_pid == 0) {
            return memory;
        }
        const std::optional<std::string> status = ReadText(Dir() + L"\\status");
        if (!status) {
            return memory;
        }
        const auto field = [&](const char* key) {
            const size_t at = status->find(key);
            return at == std::string::npos
                       ? -1.0
                       : std::atof(status->c_str() + at + std::strlen(key)) / 1024.0;
        };
        memory.rssMiB = field("\nVmRSS:");
        memory.peakMiB = field("\nVmHWM:");
        return memory;
    }

    // Starts the peak over from what is resident now (Linux's clear_refs, value 5).
    bool ResetPeak() const {
        if (m_pid == 0) {
            return false;
        }
        HANDLE file = CreateFileW((Dir() + L"\\clear_refs").c_str(), GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        DWORD written = 0;
        const bool ok = WriteFile(file, "5", 1, &written, nullptr) && written == 1;
        CloseHandle(file);
        return ok;
    }

private:
    std::wstring Dir() const { return L"Z:\\proc\\" + std::to_wstring(m_pid); }

    // Linux names a process after the first 15 bytes of its program's file name.
    static std::string OwnName() {
        wchar_t module[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, module, MAX_PATH);
        const wchar_t* base = module;
        for (const wchar_t* p = module; *p != 0; ++p) {
            if (*p == L'\\' || *p == L'/') {
                base = p + 1;
            }
        }
        std::string name;
        for (; *base != 0 && name.size() < 15; ++base) {
            name += static_cast<char>(*base < 0x80 ? *base : '?');
        }
        return name;
    }

    long m_pid;
};

// Counts the time the platform spends copying pixels out for RenderPhoto.
class TimedFrame final : public PhotoFrame {
public:
    explicit TimedFrame(PhotoFrame& inner) : m_inner(inner) {}

    Size32 StoredSize() const override { return m_inner.StoredSize(); }
    std::optional<Size32> NativeSizeFor(Size32 wanted) override {
        return m_inner.NativeSizeFor(wanted);
    }
    bool CopyRect(Size32 size, Rect32 rect, const PixelTarget& target) override {
        const Clock::time_point start = Clock::now();
        const bool ok = m_inner.CopyRect(size, rect, target);
        copyMs += Ms(start);
        ++copies;
        return ok;
    }

    double copyMs = 0;
    int copies = 0;

private:
    PhotoFrame& m_inner;
};

struct Figures {
    std::vector<double> values;

    void Add(double v) { values.push_back(v); }
    double Best() const { return *std::min_element(values.begin(), values.end()); }
    double Median() const {
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
};

constexpr Size32 kScreen{1920, 1080};
constexpr uint32_t kFill = 0xFE;

struct Options {
    int rounds = 5;
    int32_t copyRows = 0;
    long linuxPid = 0;
};

void Measure(const std::wstring& path, const Options& options, const LinuxProcess& process) {
    Figures open;
    Figures read;
    Figures copy;
    Figures platform;
    Figures ours;
    Figures touch;
    Figures load;
    Figures paint;
    Figures peak;
    LinuxProcess::Memory before;
    LinuxProcess::Memory loaded;
    LinuxProcess::Memory released;
    bool peakReset = true;
    Size32 stored;
    PhotoPlan plan;
    int copies = 0;
    for (int round = 0; round < options.rounds; ++round) {
        // The whole load as the photo window does it, and the memory it takes and keeps; first,
        // so that the first round's figures start from a process that has not decoded it yet.
        const LinuxProcess::Memory start = process.Read();
        peakReset = process.ResetPeak() && peakReset;
        CPhoto photo;
        Clock::time_point now = Clock::now();
        if (!photo.Load(std::u16string(path.begin(), path.end()), kScreen, 50, 80, kFill)) {
            std::printf("%ls: refused\n", path.c_str());
            return;
        }
        load.Add(Ms(now));
        const LinuxProcess::Memory end = process.Read();
        peak.Add(end.peakMiB - start.rssMiB);
        if (round == 0) {
            before = start;
            loaded = end;
        }

        // The paint: a fresh screen-sized back buffer, the key fill, the photo, one copy.
        const Size32 shown = PlanPhoto(photo.UprightSize(), 1, kScreen, 50, 80).scaled;
        HDC screen = GetDC(nullptr);
        double paintMs = 0;
        const int paints = 20;
        for (int i = 0; i < paints; ++i) {
            now = Clock::now();
            UniqueMemoryDC memory(CreateCompatibleDC(screen));
            UniqueBitmap buffer(CreateCompatibleBitmap(screen, kScreen.width, kScreen.height));
            {
                ScopedSelect select(memory.get(), buffer.get());
                FillSolidRect(memory.get(), {0, 0, kScreen.width, kScreen.height}, kFill);
                photo.Draw(memory.get(), {100, 100, 100 + shown.width, 100 + shown.height});
                BitBlt(screen, 0, 0, kScreen.width, kScreen.height, memory.get(), 0, 0, SRCCOPY);
            }
            GdiFlush();
            paintMs += Ms(now);
        }
        ReleaseDC(nullptr, screen);
        paint.Add(paintMs / paints);
        photo.Release();
        if (round == 0) {
            released = process.Read();
        }

        // The platform's share and ours, told apart inside the same steps the load takes.
        now = Clock::now();
        WicDecoder decoder;
        if (!decoder.Open(path)) {
            std::printf("%ls: refused\n", path.c_str());
            return;
        }
        const double openMs = Ms(now);
        stored = decoder.StoredSize();
        plan = PlanPhoto(stored, decoder.Orientation(), kScreen, 50, 80);
        const int32_t w = plan.region.right - plan.region.left;
        const int32_t h = plan.region.bottom - plan.region.top;
        TimedFrame timed(decoder);
        now = Clock::now();
        {
            // Fresh memory, as the load's bitmap is.
            const std::unique_ptr<uint8_t[]> pixels(new uint8_t[size_t(w) * size_t(h) * 4]);
            if (!RenderPhoto(timed, decoder.Orientation(), plan, {pixels.get(), w, h, w * 4}, kFill,
                             options.copyRows)) {
                std::printf("%ls: render failed\n", path.c_str());
                return;
            }
        }
        const double renderMs = Ms(now);
        copies = timed.copies;
        open.Add(openMs);
        copy.Add(timed.copyMs);
        platform.Add(openMs + timed.copyMs);
        ours.Add(renderMs - timed.copyMs);

        // Of the opening, what reading the file into fresh memory takes, as Open does first.
        now = Clock::now();
        {
            HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
            LARGE_INTEGER size{};
            if (file != INVALID_HANDLE_VALUE && GetFileSizeEx(file, &size)) {
                std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
                DWORD got = 0;
                ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
            }
            if (file != INVALID_HANDLE_VALUE) {
                CloseHandle(file);
            }
        }
        read.Add(Ms(now));

        // What writing a bitmap of the region's size costs by itself: its pages' first touch.
        now = Clock::now();
        {
            const std::unique_ptr<uint8_t[]> pixels(new uint8_t[size_t(w) * size_t(h) * 4]);
            std::memset(pixels.get(), 0, size_t(w) * size_t(h) * 4);
        }
        touch.Add(Ms(now));
    }

    std::printf("%ls: %dx%d -> %dx%d, %d rounds, %d pixel copies a decode\n", path.c_str(),
                stored.width, stored.height, plan.scaled.width, plan.scaled.height, options.rounds,
                copies);
    std::printf("                          best    median\n");
    const auto row = [](const char* label, const Figures& f, const char* unit) {
        std::printf("  %-20s %8.1f  %8.1f %s\n", label, f.Best(), f.Median(), unit);
    };
    row("platform decode", platform, "ms");
    row("  opening", open, "ms");
    row("    reading the file", read, "ms (into fresh memory, alone)");
    row("  pixel copies", copy, "ms");
    row("ours", ours, "ms");
    row("  bitmap first touch", touch, "ms (its memory alone, written once)");
    row("whole load", load, "ms");
    std::printf("  %-20s %8.2f  %8.2f ms\n", "paint 1920x1080", paint.Best(), paint.Median());
    std::printf("  whole load - platform decode: %.1f ms (medians)\n",
                load.Median() - platform.Median());
    if (process.Pid() == 0) {
        std::printf("  memory: our Linux process was not found\n");
        return;
    }
    std::printf(
        "  resident, first round: %.1f MiB before the load, %.1f MiB at its peak%s, %.1f "
        "MiB with the photo, %.1f MiB once released\n",
        before.rssMiB, loaded.peakMiB, peakReset ? "" : " (since start)", loaded.rssMiB,
        released.rssMiB);
    row("load's peak", peak, "MiB over the resident before it");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ScopedComApartment com;
    Options options;
    std::vector<std::wstring> files;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--rounds" && i + 1 < argc) {
            options.rounds = std::max(1, _wtoi(argv[++i]));
        } else if (arg == L"--copy-rows" && i + 1 < argc) {
            options.copyRows = std::max(0, _wtoi(argv[++i]));
        } else if (arg == L"--linux-pid" && i + 1 < argc) {
            options.linuxPid = _wtol(argv[++i]);
        } else {
            files.push_back(arg);
        }
    }
    LinuxProcess process(options.linuxPid);
    if (options.linuxPid != 0 || process.Find()) {
        std::printf("Linux process %ld\n", process.Pid());
    }
    for (const std::wstring& file : files) {
        Measure(file, options, process);
    }
    return 0;
}
