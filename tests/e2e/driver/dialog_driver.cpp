// qmdialogs: drives the program's dialogs from outside, for the end-to-end tests.
//
// Every subcommand prints its findings on stdout as UTF-8, one "name: value" fact a line. A line
// that describes a window or a control is a list of name=value words; a text comes last, as
// text=..., with backslash, CR, LF, tab and other control characters escaped (\\ \r \n \t \uXXXX).
// Exit codes: 0 done, 1 a check or an operation failed (or a wait timed out), 2 the command line
// was wrong.
//
//   start <timeout-ms> [trace <title> <duration-ms> <interval-ms> [at <+|-alpha> <id>]...]
//         -- <program> [args...]
//                                 starts the program and prints its pid at once; with trace,
//                                 follows the layered opacity of its top-level window of that
//                                 title (see trace); then waits for the program's end (ended at
//                                 the timeout)
//   trace <pid> <title> <duration-ms> <interval-ms> [at <+|-alpha> <id>]...
//                                 samples the opacity of the process's window of that title until
//                                 the window is gone, the process ends or the time is up, and
//                                 prints each change. "at +N ID" posts BM_CLICK to control ID once
//                                 the opacity has risen to N or more, "at -N ID" once it has
//                                 fallen to N or less; several fire in the order given
//   end-process <pid>             ends a process the tests started, with code 1
//   find <pid|0> <title> <timeout-ms>
//                                 waits for a visible top-level window with exactly that title
//   wait-gone <hwnd> <timeout-ms> waits until the window no longer exists
//   windows <pid>                 the process's top-level windows, top first
//   controls <hwnd>               the window's child controls in their order
//   text <hwnd> <id>              a control's text (WM_GETTEXT)
//   set-text <hwnd> <id> <text>   WM_SETTEXT
//   click <hwnd> <id>             posts BM_CLICK to the control
//   command <hwnd> <id>           posts the control's WM_COMMAND BN_CLICKED to the window
//   post <hwnd> <message> <wparam> <lparam>
//                                 PostMessageW; numbers in decimal or 0x hex
//   focus <hwnd>                  the active and focus windows of the window's thread, and the
//                                 selection when the focus is an edit control
//   message-box <pid> <timeout-ms>
//                                 waits for an enabled message box of the process and describes
//                                 it: caption, text (the static 65535), owner, buttons, icon
//   cursor                        the cursor's handle, position, hot spot and size, and the
//                                 window under it
//   foreground                    the foreground window
//   second <timeout-ms> -- <program> [args...]
//                                 brings a window of its own to the front, runs the program to its
//                                 end and reports which window is in front afterwards
//   icon-pixels <stop|exclamation|information|question> <rrggbb>
//                                 the system's icon of that kind as a message box shows it, drawn
//                                 on the colour given: its size and its pixels as hex RGB
//   text-size <face> <points> <width-px> <text>
//                                 the text's size in a dialog font of that face and size: on one
//                                 line, and wrapped at word breaks into the width as a static
//                                 control wraps it
//   wininet-text <code>           the network library's description of an error code
//   system-text <code>            the system's description of an error code
//   string <module> <id>          a string of a module's string table
//   reg-delete-value <subkey> <name>
//                                 removes a value of HKCU\<subkey>, if it is there
//
// Window handles are printed and read as decimal numbers.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// --- Handles ------------------------------------------------------------------------------

template <typename Traits>
class UniqueHandle {
  public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type handle) : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, Traits::Invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, Traits::Invalid());
        }
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    Type Get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Invalid(); }

  private:
    void Reset() {
        if (handle_ != Traits::Invalid())
            Traits::Close(handle_);
        handle_ = Traits::Invalid();
    }

    Type handle_ = Traits::Invalid();
};

struct KernelTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type handle) { CloseHandle(handle); }
};

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Close(Type module) { FreeLibrary(module); }
};

struct WindowTraits {
    using Type = HWND;
    static Type Invalid() { return nullptr; }
    static void Close(Type window) { DestroyWindow(window); }
};

struct BitmapTraits {
    using Type = HBITMAP;
    static Type Invalid() { return nullptr; }
    static void Close(Type bitmap) { DeleteObject(bitmap); }
};

struct DcTraits {
    using Type = HDC;
    static Type Invalid() { return nullptr; }
    static void Close(Type dc) { DeleteDC(dc); }
};

struct KeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Close(Type key) { RegCloseKey(key); }
};

struct FontTraits {
    using Type = HFONT;
    static Type Invalid() { return nullptr; }
    static void Close(Type font) { DeleteObject(font); }
};

struct LocalTraits {
    using Type = wchar_t*;
    static Type Invalid() { return nullptr; }
    static void Close(Type memory) { LocalFree(memory); }
};

using Handle = UniqueHandle<KernelTraits>;
using Module = UniqueHandle<ModuleTraits>;
using Window = UniqueHandle<WindowTraits>;
using Bitmap = UniqueHandle<BitmapTraits>;
using LocalText = UniqueHandle<LocalTraits>;
using MemoryDc = UniqueHandle<DcTraits>;
using Key = UniqueHandle<KeyTraits>;
using Font = UniqueHandle<FontTraits>;

// Puts a GDI object into a device context for as long as it lives.
class Selection {
  public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    ~Selection() { SelectObject(dc_, previous_); }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// --- Output -------------------------------------------------------------------------------

std::string ToUtf8(std::wstring_view text) {
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

// WriteFile, so that neither the console code page nor a text mode changes a byte; the tests
// read a file that another process may be reading while it grows.
void WriteAll(DWORD stdHandle, std::string_view bytes) {
    const HANDLE out = GetStdHandle(stdHandle);
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1 << 20));
        if (!WriteFile(out, bytes.data(), chunk, &written, nullptr) || written == 0)
            return;
        bytes.remove_prefix(written);
    }
}

void Fact(std::wstring_view name, std::wstring_view value) {
    std::wstring line(name);
    line += L": ";
    line += value;
    line += L'\n';
    WriteAll(STD_OUTPUT_HANDLE, ToUtf8(line));
}

void Fact(std::wstring_view name, uint64_t value) {
    Fact(name, std::to_wstring(value));
}

void YesNo(std::wstring_view name, bool value) {
    Fact(name, value ? L"yes" : L"no");
}

int Fail(std::wstring_view what, DWORD error) {
    WriteAll(STD_ERROR_HANDLE, ToUtf8(L"qmdialogs: " + std::wstring(what) + L" (error " +
                                      std::to_wstring(error) + L")\n"));
    return kExitFailed;
}

int Usage(std::wstring_view what) {
    WriteAll(STD_ERROR_HANDLE,
             ToUtf8(L"qmdialogs: " + std::wstring(what) +
                    L"\nsee the head of dialog_driver.cpp for the subcommands\n"));
    return kExitUsage;
}

std::wstring Escaped(std::wstring_view text) {
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring out;
    out.reserve(text.size());
    for (const wchar_t c : text) {
        switch (c) {
            case L'\\':
                out += L"\\\\";
                break;
            case L'\r':
                out += L"\\r";
                break;
            case L'\n':
                out += L"\\n";
                break;
            case L'\t':
                out += L"\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += L"\\u00";
                    out += kDigits[(c >> 4) & 0xF];
                    out += kDigits[c & 0xF];
                } else {
                    out += c;
                }
        }
    }
    return out;
}

std::wstring Hex32(uint32_t value) {
    wchar_t text[16];
    swprintf(text, 16, L"%08x", value);
    return text;
}

std::wstring RectText(const RECT& rect) {
    return std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top) + L"," +
           std::to_wstring(rect.right) + L"," + std::to_wstring(rect.bottom);
}

// --- Parsing ------------------------------------------------------------------------------

std::optional<uint32_t> ParseNumber(const wchar_t* text) {
    if (*text == L'\0' || *text == L'-' || *text == L'+')
        return std::nullopt;
    wchar_t* end = nullptr;
    errno = 0;
    const unsigned long long value = std::wcstoull(text, &end, 0);
    if (*end != L'\0' || errno != 0 || value > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

// A control id as the template gives it: 65535 and -1 are both accepted for "no id".
std::optional<int> ParseControlId(const wchar_t* text) {
    if (std::wcscmp(text, L"-1") == 0)
        return -1;
    const std::optional<uint32_t> value = ParseNumber(text);
    if (!value || *value > 0xFFFF)
        return std::nullopt;
    return static_cast<int>(*value);
}

// --- Time ---------------------------------------------------------------------------------

class Stopwatch {
  public:
    Stopwatch() {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&start_);
    }
    uint64_t ElapsedMs() const { return ElapsedUs() / 1000; }
    uint64_t ElapsedUs() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<uint64_t>((now.QuadPart - start_.QuadPart) * 1000000 /
                                     frequency_.QuadPart);
    }

  private:
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER start_{};
};

// 1970-01-01 in FILETIME's units since 1601, as milliseconds.
constexpr uint64_t kUnixEpochInFileTimeMs = 11644473600000ull;

uint64_t UnixMs() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    return ((static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime) / 10000) -
           kUnixEpochInFileTimeMs;
}

// --- Windows ------------------------------------------------------------------------------

uint64_t HandleNumber(HWND window) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
}

HWND HandleFromNumber(uint32_t number) {
    // Window handles are 32-bit values; 64-bit Windows widens them with their sign.
    return reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(number)));
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, ARRAYSIZE(name));
    return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

// The title of a top-level window, which the system keeps for every process.
std::wstring TitleOf(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1);
    const int got = GetWindowTextW(window, text.data(), length + 1);
    return std::wstring(text.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

// A control's own text: another process's edit box keeps it where only WM_GETTEXT reaches it.
constexpr UINT kSendTimeoutMs = 5000;

std::optional<std::wstring> ControlText(HWND control) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &length))
        return std::nullopt;
    std::vector<wchar_t> text(length + 1);
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXT, text.size(),
                             reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &got))
        return std::nullopt;
    return std::wstring(text.data(), std::min<size_t>(got, length));
}

DWORD ProcessOf(HWND window) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return owner;
}

struct Layered {
    bool known = false;
    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD flags = 0;

    bool operator==(const Layered&) const = default;
};

Layered ReadLayered(HWND window) {
    Layered out;
    out.known = GetLayeredWindowAttributes(window, &out.key, &out.alpha, &out.flags) != FALSE;
    if (!out.known)
        out = Layered{};
    return out;
}

std::wstring LayeredText(const Layered& layered) {
    if (!layered.known)
        return L"layered=none";
    return L"layered=yes key=" + Hex32(layered.key) + L" alpha=" + std::to_wstring(layered.alpha) +
           L" flags=" + std::to_wstring(layered.flags);
}

uint64_t XWindowOf(HWND window) {
    return static_cast<uint64_t>(
        reinterpret_cast<uintptr_t>(GetPropW(window, L"__wine_x11_whole_window")));
}

std::wstring DescribeTopLevel(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    return L"hwnd=" + std::to_wstring(HandleNumber(window)) + L" pid=" +
           std::to_wstring(ProcessOf(window)) + L" class=" + ClassOf(window) + L" xid=" +
           std::to_wstring(XWindowOf(window)) + L" rect=" + RectText(rect) + L" client=" +
           std::to_wstring(origin.x) + L"," + std::to_wstring(origin.y) + L"," +
           std::to_wstring(origin.x + client.right) + L"," +
           std::to_wstring(origin.y + client.bottom) + L" style=" +
           Hex32(static_cast<uint32_t>(GetWindowLongW(window, GWL_STYLE))) + L" exstyle=" +
           Hex32(static_cast<uint32_t>(GetWindowLongW(window, GWL_EXSTYLE))) + L" visible=" +
           (IsWindowVisible(window) ? L"yes" : L"no") + L" enabled=" +
           (IsWindowEnabled(window) ? L"yes" : L"no") + L" owner=" +
           std::to_wstring(HandleNumber(GetWindow(window, GW_OWNER))) + L" " +
           LayeredText(ReadLayered(window)) + L" text=" + Escaped(TitleOf(window));
}

struct TopLevelSearch {
    DWORD processId;  // 0 for any
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<TopLevelSearch*>(param);
    if (search->processId == 0 || ProcessOf(window) == search->processId)
        search->found.push_back(window);
    return TRUE;
}

// Top first, as EnumWindows gives them.
std::vector<HWND> TopLevelWindows(DWORD processId) {
    TopLevelSearch search{processId, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindTitled(DWORD processId, std::wstring_view title, bool visibleOnly) {
    for (HWND window : TopLevelWindows(processId)) {
        if (visibleOnly && !IsWindowVisible(window))
            continue;
        if (TitleOf(window) == title)
            return window;
    }
    return nullptr;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

// The direct children, in their order: the order of the template for a dialog.
std::vector<HWND> DirectChildren(HWND parent) {
    std::vector<HWND> all;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&all));
    std::vector<HWND> direct;
    for (HWND window : all) {
        if (GetAncestor(window, GA_PARENT) == parent)
            direct.push_back(window);
    }
    return direct;
}

// Template ids are 16-bit, so -1 and 65535 are the same "no id".
bool SameId(int actual, int wanted) {
    return static_cast<uint16_t>(actual) == static_cast<uint16_t>(wanted);
}

HWND ControlOf(HWND dialog, int id) {
    for (HWND child : DirectChildren(dialog)) {
        if (SameId(GetDlgCtrlID(child), id))
            return child;
    }
    return nullptr;
}

std::optional<LRESULT> SendQuery(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &result))
        return std::nullopt;
    return static_cast<LRESULT>(result);
}

std::wstring DescribeControl(HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    const std::wstring className = ClassOf(control);
    const uint32_t style = static_cast<uint32_t>(GetWindowLongW(control, GWL_STYLE));
    std::wstring out = L"hwnd=" + std::to_wstring(HandleNumber(control)) + L" id=" +
                       std::to_wstring(GetDlgCtrlID(control)) + L" class=" + className +
                       L" style=" + Hex32(style) + L" exstyle=" +
                       Hex32(static_cast<uint32_t>(GetWindowLongW(control, GWL_EXSTYLE))) +
                       L" visible=" + (IsWindowVisible(control) ? L"yes" : L"no") + L" enabled=" +
                       (IsWindowEnabled(control) ? L"yes" : L"no") + L" rect=" + RectText(rect);
    if (_wcsicmp(className.c_str(), L"Button") == 0) {
        const std::optional<LRESULT> check = SendQuery(control, BM_GETCHECK);
        out += L" check=" + (check ? std::to_wstring(*check) : std::wstring(L"unknown"));
    }
    const std::optional<std::wstring> text = ControlText(control);
    out += text ? L" text=" + Escaped(*text) : std::wstring(L" text-unknown=yes");
    return out;
}

// --- Child processes ----------------------------------------------------------------------

// Quotes one argument so that the C run-time of the child splits it back unchanged.
void AppendQuoted(std::wstring& commandLine, std::wstring_view arg) {
    if (!commandLine.empty())
        commandLine += L' ';
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
        commandLine += arg;
        return;
    }
    commandLine += L'"';
    size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        commandLine.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        commandLine += c;
    }
    commandLine.append(backslashes * 2, L'\\');
    commandLine += L'"';
}

struct Child {
    Handle process;
    DWORD id = 0;
};

std::optional<Child> StartChild(int argc, wchar_t** argv) {
    std::wstring commandLine;
    for (int i = 0; i < argc; ++i)
        AppendQuoted(commandLine, argv[i]);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // Wine now and then fails a first start in a fresh session with ERROR_INTERNAL_ERROR; a
    // second try a moment later goes through.
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (CreateProcessW(argv[0], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &startup, &info)) {
            error = ERROR_SUCCESS;
            break;
        }
        error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR)
            break;
        Sleep(300);
    }
    if (error != ERROR_SUCCESS) {
        Fail(L"cannot start " + std::wstring(argv[0]), error);
        return std::nullopt;
    }
    CloseHandle(info.hThread);
    return Child{Handle(info.hProcess), info.dwProcessId};
}

void ReportEnd(HANDLE process, bool exited, uint64_t elapsedMs) {
    YesNo(L"exited", exited);
    DWORD code = 0;
    if (exited && GetExitCodeProcess(process, &code)) {
        Fact(L"exit-code", static_cast<uint64_t>(code));
    } else {
        Fact(L"exit-code", L"none");
    }
    Fact(L"elapsed-ms", elapsedMs);
}

// --- Opacity trace ------------------------------------------------------------------------

// Clicks a control once the opacity has passed a value in the direction given.
struct TraceAction {
    bool rising;
    int alpha;
    int controlId;
};

struct TraceRequest {
    std::wstring title;
    uint32_t durationMs = 0;
    uint32_t intervalMs = 0;
    std::vector<TraceAction> actions;
};

// Reads "<title> <duration-ms> <interval-ms> [at <+|-alpha> <id>]..." from argv[from..to).
std::optional<TraceRequest> ParseTrace(wchar_t** argv, int from, int to) {
    if (to - from < 3)
        return std::nullopt;
    TraceRequest request;
    request.title = argv[from];
    const std::optional<uint32_t> duration = ParseNumber(argv[from + 1]);
    const std::optional<uint32_t> interval = ParseNumber(argv[from + 2]);
    if (!duration || !interval)
        return std::nullopt;
    request.durationMs = *duration;
    request.intervalMs = *interval;
    for (int i = from + 3; i < to; i += 3) {
        if (i + 2 >= to || std::wcscmp(argv[i], L"at") != 0)
            return std::nullopt;
        const wchar_t* when = argv[i + 1];
        if (when[0] != L'+' && when[0] != L'-')
            return std::nullopt;
        const std::optional<uint32_t> alpha = ParseNumber(when + 1);
        const std::optional<int> id = ParseControlId(argv[i + 2]);
        if (!alpha || *alpha > 255 || !id)
            return std::nullopt;
        request.actions.push_back({when[0] == L'+', static_cast<int>(*alpha), *id});
    }
    return request;
}

struct Sample {
    bool exists = false;
    bool visible = false;
    Layered layered;

    bool operator==(const Sample&) const = default;
};

Sample TakeSample(HWND window) {
    Sample out;
    out.exists = IsWindow(window) != FALSE;
    if (out.exists) {
        out.visible = IsWindowVisible(window) != FALSE;
        out.layered = ReadLayered(window);
    }
    return out;
}

// Waits for the window, then samples it: each change is printed with the time of the sample that
// saw it and of the one before, so a value held for less than that gap may have gone unseen.
// Times are milliseconds (with a fraction) on `clock`. Near the end of a fade-out, where the last
// value lives only until the window is destroyed, samples follow each other without a pause.
int Trace(HANDLE process, DWORD processId, const TraceRequest& request, const Stopwatch& clock) {
    // Looking, not working: the sampler should come back on time even on a busy machine.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    Fact(L"trace-clock-unix-ms", UnixMs() - clock.ElapsedMs());
    auto now = [&clock] { return clock.ElapsedUs(); };
    auto ms = [](uint64_t us) {
        wchar_t text[32];
        swprintf(text, 32, L"%llu.%01llu", static_cast<unsigned long long>(us / 1000),
                 static_cast<unsigned long long>(us % 1000 / 100));
        return std::wstring(text);
    };
    const uint64_t end = now() + static_cast<uint64_t>(request.durationMs) * 1000;
    auto processEnded = [process] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; };

    HWND window = nullptr;
    while (window == nullptr) {
        window = FindTitled(processId, request.title, false);
        if (window != nullptr)
            break;
        if (now() >= end || processEnded()) {
            Fact(L"trace-window", L"none");
            return kExitFailed;
        }
        Sleep(1);
    }
    Fact(L"trace-window", L"t=" + ms(now()) + L" hwnd=" + std::to_wstring(HandleNumber(window)));

    Sample last;
    uint64_t previous = now();
    uint64_t samples = 0;
    uint64_t longestGap = 0;
    int lastAlpha = -1;
    bool rising = false;
    bool falling = false;
    size_t nextAction = 0;
    for (;;) {
        const Sample sample = TakeSample(window);
        const uint64_t at = now();
        longestGap = std::max(longestGap, at - previous);
        ++samples;
        if (!sample.exists) {
            Fact(L"gone", L"t=" + ms(at) + L" prev=" + ms(previous));
            break;
        }
        if (!(sample == last)) {
            Fact(L"change", L"t=" + ms(at) + L" prev=" + ms(previous) + L" visible=" +
                                (sample.visible ? L"yes" : L"no") + L" " +
                                LayeredText(sample.layered));
            last = sample;
        }
        const int alpha = sample.layered.known ? sample.layered.alpha : -1;
        if (alpha >= 0 && lastAlpha >= 0 && alpha != lastAlpha) {
            rising = alpha > lastAlpha;
            falling = alpha < lastAlpha;
        } else if (alpha >= 0 && lastAlpha < 0) {
            rising = true;  // the first value: the fade has begun
        }
        lastAlpha = alpha >= 0 ? alpha : lastAlpha;
        if (nextAction < request.actions.size() && alpha >= 0) {
            const TraceAction& action = request.actions[nextAction];
            const bool due = action.rising ? (rising && alpha >= action.alpha)
                                           : (falling && alpha <= action.alpha);
            if (due) {
                HWND control = ControlOf(window, action.controlId);
                const bool posted = control != nullptr && PostMessageW(control, BM_CLICK, 0, 0);
                Fact(L"action", L"t=" + ms(at) + L" alpha=" + std::to_wstring(alpha) + L" id=" +
                                    std::to_wstring(action.controlId) + L" posted=" +
                                    (posted ? L"yes" : L"no"));
                ++nextAction;
            }
        }
        previous = at;
        if (at >= end) {
            Fact(L"trace-timeout", L"t=" + ms(at));
            break;
        }
        if (processEnded()) {
            const Sample after = TakeSample(window);
            if (!after.exists)
                Fact(L"gone", L"t=" + ms(now()) + L" prev=" + ms(previous) + L" process-ended=yes");
            break;
        }
        const bool nearTheEnd = falling && alpha >= 0 && alpha <= 20;
        if (nearTheEnd) {
            SwitchToThread();
        } else {
            Sleep(request.intervalMs);
        }
    }
    Fact(L"trace-samples", samples);
    Fact(L"trace-longest-gap-ms", ms(longestGap));
    return kExitOk;
}

int Start(uint32_t timeoutMs, const std::optional<TraceRequest>& trace, int argc, wchar_t** argv) {
    std::optional<Child> child = StartChild(argc, argv);
    if (!child)
        return kExitFailed;
    const Stopwatch clock;
    Fact(L"pid", static_cast<uint64_t>(child->id));
    if (trace)
        Trace(child->process.Get(), child->id, *trace, clock);
    const uint64_t spent = clock.ElapsedMs();
    const DWORD left = spent >= timeoutMs ? 0 : static_cast<DWORD>(timeoutMs - spent);
    const bool exited = WaitForSingleObject(child->process.Get(), left) == WAIT_OBJECT_0;
    const uint64_t elapsed = clock.ElapsedMs();
    if (!exited) {
        TerminateProcess(child->process.Get(), 1);
        WaitForSingleObject(child->process.Get(), 5000);
    }
    ReportEnd(child->process.Get(), exited, elapsed);
    return kExitOk;
}

int TraceProcess(uint32_t processId, const TraceRequest& request) {
    Handle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process)
        return Fail(L"cannot open the process", GetLastError());
    const Stopwatch clock;
    return Trace(process.Get(), processId, request, clock);
}

int EndProcess(uint32_t processId) {
    Handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
    if (!process || WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0) {
        Fact(L"ended", L"gone");
        return kExitOk;
    }
    if (!TerminateProcess(process.Get(), 1))
        return Fail(L"TerminateProcess failed", GetLastError());
    WaitForSingleObject(process.Get(), 5000);
    Fact(L"ended", L"yes");
    return kExitOk;
}

// --- Windows and controls -----------------------------------------------------------------

int Find(uint32_t processId, const wchar_t* title, uint32_t timeoutMs) {
    const Stopwatch clock;
    for (;;) {
        if (HWND window = FindTitled(processId, title, true)) {
            Fact(L"window", DescribeTopLevel(window));
            Fact(L"waited-ms", clock.ElapsedMs());
            return kExitOk;
        }
        if (clock.ElapsedMs() >= timeoutMs) {
            Fact(L"window", L"none");
            return kExitFailed;
        }
        Sleep(10);
    }
}

int WaitGone(uint32_t window, uint32_t timeoutMs) {
    const Stopwatch clock;
    const HWND handle = HandleFromNumber(window);
    while (IsWindow(handle)) {
        if (clock.ElapsedMs() >= timeoutMs) {
            Fact(L"gone", L"no");
            return kExitFailed;
        }
        Sleep(5);
    }
    Fact(L"gone", L"yes");
    Fact(L"waited-ms", clock.ElapsedMs());
    return kExitOk;
}

int ListWindows(uint32_t processId) {
    const std::vector<HWND> windows = TopLevelWindows(processId);
    for (HWND window : windows)
        Fact(L"window", DescribeTopLevel(window));
    Fact(L"count", static_cast<uint64_t>(windows.size()));
    return kExitOk;
}

int ListControls(uint32_t number) {
    const HWND window = HandleFromNumber(number);
    if (!IsWindow(window))
        return Fail(L"no such window", ERROR_INVALID_WINDOW_HANDLE);
    Fact(L"window", DescribeTopLevel(window));
    const std::vector<HWND> children = DirectChildren(window);
    for (HWND child : children)
        Fact(L"control", DescribeControl(child));
    Fact(L"count", static_cast<uint64_t>(children.size()));
    return kExitOk;
}

HWND RequireControl(uint32_t dialog, int id) {
    const HWND window = HandleFromNumber(dialog);
    if (!IsWindow(window)) {
        Fail(L"no such window", ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    const HWND control = ControlOf(window, id);
    if (control == nullptr)
        Fail(L"the window has no control " + std::to_wstring(id), ERROR_CONTROL_ID_NOT_FOUND);
    return control;
}

int Text(uint32_t dialog, int id) {
    const HWND control = RequireControl(dialog, id);
    if (control == nullptr)
        return kExitFailed;
    const std::optional<std::wstring> text = ControlText(control);
    if (!text)
        return Fail(L"WM_GETTEXT failed", GetLastError());
    Fact(L"text", Escaped(*text));
    return kExitOk;
}

int SetText(uint32_t dialog, int id, const wchar_t* text) {
    const HWND control = RequireControl(dialog, id);
    if (control == nullptr)
        return kExitFailed;
    const std::optional<LRESULT> result =
        SendQuery(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    if (!result || *result == FALSE)
        return Fail(L"WM_SETTEXT failed", GetLastError());
    const std::optional<std::wstring> now = ControlText(control);
    Fact(L"text", now ? Escaped(*now) : std::wstring(L"unknown"));
    return kExitOk;
}

int Click(uint32_t dialog, int id) {
    const HWND control = RequireControl(dialog, id);
    if (control == nullptr)
        return kExitFailed;
    if (!PostMessageW(control, BM_CLICK, 0, 0))
        return Fail(L"PostMessageW failed", GetLastError());
    Fact(L"posted", L"yes");
    return kExitOk;
}

int Command(uint32_t dialog, int id) {
    const HWND control = RequireControl(dialog, id);
    if (control == nullptr)
        return kExitFailed;
    const WPARAM wParam = MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED);
    if (!PostMessageW(HandleFromNumber(dialog), WM_COMMAND, wParam,
                      reinterpret_cast<LPARAM>(control)))
        return Fail(L"PostMessageW failed", GetLastError());
    Fact(L"posted", L"yes");
    return kExitOk;
}

int Post(uint32_t window, uint32_t message, uint32_t wParam, uint32_t lParam) {
    if (!PostMessageW(HandleFromNumber(window), message, wParam,
                      static_cast<LPARAM>(static_cast<int32_t>(lParam))))
        return Fail(L"PostMessageW failed", GetLastError());
    Fact(L"posted", L"yes");
    return kExitOk;
}

int Focus(uint32_t number) {
    const HWND window = HandleFromNumber(number);
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    if (thread == 0)
        return Fail(L"no such window", ERROR_INVALID_WINDOW_HANDLE);
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(thread, &info))
        return Fail(L"GetGUIThreadInfo failed", GetLastError());
    Fact(L"active", HandleNumber(info.hwndActive));
    Fact(L"focus", HandleNumber(info.hwndFocus));
    if (info.hwndFocus == nullptr)
        return kExitOk;
    Fact(L"focus-id", std::to_wstring(GetDlgCtrlID(info.hwndFocus)));
    const std::wstring className = ClassOf(info.hwndFocus);
    Fact(L"focus-class", className);
    if (_wcsicmp(className.c_str(), L"Edit") == 0) {
        // Without pointers the answer packs both ends into one value.
        const std::optional<LRESULT> selection = SendQuery(info.hwndFocus, EM_GETSEL);
        if (selection) {
            Fact(L"selection-start", static_cast<uint64_t>(LOWORD(*selection)));
            Fact(L"selection-end", static_cast<uint64_t>(HIWORD(*selection)));
        }
        const std::optional<std::wstring> text = ControlText(info.hwndFocus);
        if (text)
            Fact(L"focus-text", Escaped(*text));
    }
    return kExitOk;
}

// --- Message boxes ------------------------------------------------------------------------

// The message box's parts by the ids of the system's template.
constexpr int kMessageBoxText = 0xFFFF;
constexpr int kMessageBoxIcon = 0x0440;

bool IsMessageBox(HWND window) {
    if (ClassOf(window) != L"#32770" || !IsWindowVisible(window))
        return false;
    const HWND text = GetDlgItem(window, kMessageBoxText);
    return text != nullptr && GetDlgItem(window, kMessageBoxIcon) != nullptr;
}

int MessageBoxOf(uint32_t processId, uint32_t timeoutMs) {
    const Stopwatch clock;
    HWND box = nullptr;
    while (box == nullptr) {
        for (HWND window : TopLevelWindows(processId)) {
            if (IsMessageBox(window) && IsWindowEnabled(window)) {
                box = window;
                break;
            }
        }
        if (box != nullptr)
            break;
        if (clock.ElapsedMs() >= timeoutMs) {
            Fact(L"message-box", L"none");
            return kExitFailed;
        }
        Sleep(10);
    }
    Fact(L"message-box", DescribeTopLevel(box));
    Fact(L"waited-ms", clock.ElapsedMs());
    Fact(L"caption", Escaped(TitleOf(box)));
    const std::optional<std::wstring> text = ControlText(GetDlgItem(box, kMessageBoxText));
    Fact(L"text", text ? Escaped(*text) : std::wstring(L"unknown"));
    const HWND owner = GetWindow(box, GW_OWNER);
    Fact(L"owner", HandleNumber(owner));
    if (owner != nullptr) {
        Fact(L"owner-title", Escaped(TitleOf(owner)));
        YesNo(L"owner-enabled", IsWindowEnabled(owner) != FALSE);
    }
    const HWND icon = GetDlgItem(box, kMessageBoxIcon);
    RECT iconRect{};
    GetWindowRect(icon, &iconRect);
    Fact(L"icon-rect", RectText(iconRect));
    YesNo(L"icon-visible", IsWindowVisible(icon) != FALSE);
    for (HWND child : DirectChildren(box)) {
        if (_wcsicmp(ClassOf(child).c_str(), L"Button") == 0 && IsWindowVisible(child))
            Fact(L"button", DescribeControl(child));
    }
    return kExitOk;
}

// --- Cursor -------------------------------------------------------------------------------

int Cursor() {
    CURSORINFO info{};
    info.cbSize = sizeof info;
    if (!GetCursorInfo(&info))
        return Fail(L"GetCursorInfo failed", GetLastError());
    Fact(L"cursor", static_cast<uint64_t>(reinterpret_cast<uintptr_t>(info.hCursor)));
    YesNo(L"showing", (info.flags & CURSOR_SHOWING) != 0);
    Fact(L"position",
         std::to_wstring(info.ptScreenPos.x) + L"," + std::to_wstring(info.ptScreenPos.y));
    const HWND under = WindowFromPoint(info.ptScreenPos);
    Fact(L"under", HandleNumber(under));
    if (under != nullptr) {
        Fact(L"under-id", std::to_wstring(GetDlgCtrlID(under)));
        Fact(L"under-class", ClassOf(under));
        Fact(L"under-pid", static_cast<uint64_t>(ProcessOf(under)));
    }
    // Another process's cursor may not be readable here; that is reported, not a failure.
    ICONINFO icon{};
    if (info.hCursor == nullptr || !GetIconInfo(info.hCursor, &icon)) {
        Fact(L"icon-info", L"unavailable error=" + std::to_wstring(GetLastError()));
        return kExitOk;
    }
    const Bitmap mask(icon.hbmMask);
    const Bitmap colour(icon.hbmColor);
    BITMAP bits{};
    int width = 0;
    int height = 0;
    if (colour && GetObjectW(colour.Get(), sizeof bits, &bits) != 0) {
        width = bits.bmWidth;
        height = bits.bmHeight;
    } else if (mask && GetObjectW(mask.Get(), sizeof bits, &bits) != 0) {
        // A monochrome cursor's mask holds the AND and the XOR halves one above the other.
        width = bits.bmWidth;
        height = bits.bmHeight / 2;
    }
    Fact(L"icon-info", L"hotspot=" + std::to_wstring(icon.xHotspot) + L"," +
                           std::to_wstring(icon.yHotspot) + L" size=" + std::to_wstring(width) +
                           L"x" + std::to_wstring(height) + L" colour=" +
                           (colour ? L"yes" : L"no"));
    return kExitOk;
}

int Foreground() {
    const HWND window = GetForegroundWindow();
    if (window == nullptr) {
        Fact(L"foreground", L"none");
        return kExitOk;
    }
    Fact(L"foreground", DescribeTopLevel(window));
    return kExitOk;
}

// --- A second instance --------------------------------------------------------------------

// Runs the queue until `done` holds or the time is up: the program under test may send to the
// window in front while it brings its own forward.
template <typename Done>
bool PumpUntil(uint32_t timeoutMs, HANDLE waitOn, Done done) {
    const Stopwatch clock;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done())
            return true;
        const uint64_t elapsed = clock.ElapsedMs();
        if (elapsed >= timeoutMs)
            return false;
        const DWORD slice = static_cast<DWORD>(std::min<uint64_t>(timeoutMs - elapsed, 10));
        MsgWaitForMultipleObjects(waitOn ? 1 : 0, waitOn ? &waitOn : nullptr, FALSE, slice,
                                  QS_ALLINPUT);
    }
}

Window MakeBystander() {
    static const wchar_t kClass[] = L"QmDialogsBystander";
    static const bool registered = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = kClass;
        return RegisterClassW(&windowClass) != 0;
    }();
    if (!registered)
        return Window();
    // Away from where the dialogs open, so that it hides none of them.
    Window window(CreateWindowExW(0, kClass, L"qmdialogs bystander", WS_OVERLAPPEDWINDOW, 900, 700,
                                  300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
    if (window) {
        ShowWindow(window.Get(), SW_SHOW);
        UpdateWindow(window.Get());
    }
    return window;
}

int Second(uint32_t timeoutMs, int argc, wchar_t** argv) {
    Window bystander = MakeBystander();
    if (!bystander)
        return Fail(L"cannot create the bystander window", GetLastError());
    SetForegroundWindow(bystander.Get());
    PumpUntil(3000, nullptr, [&] { return GetForegroundWindow() == bystander.Get(); });
    Fact(L"bystander", HandleNumber(bystander.Get()));
    Fact(L"foreground-before", HandleNumber(GetForegroundWindow()));

    std::optional<Child> child = StartChild(argc, argv);
    if (!child)
        return kExitFailed;
    const Stopwatch clock;
    const HANDLE process = child->process.Get();
    const bool exited = PumpUntil(timeoutMs, process,
                                  [&] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; });
    const uint64_t elapsed = clock.ElapsedMs();
    if (!exited) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
    }
    // Activation reaches the other windows through their queues; let it settle.
    PumpUntil(300, nullptr, [] { return false; });
    ReportEnd(process, exited, elapsed);
    const HWND front = GetForegroundWindow();
    Fact(L"foreground-after", HandleNumber(front));
    if (front != nullptr)
        Fact(L"foreground-after-title", Escaped(TitleOf(front)));
    return kExitOk;
}

// --- Resources and texts ------------------------------------------------------------------

std::optional<const wchar_t*> StandardIcon(std::wstring_view kind) {
    if (kind == L"stop")
        return IDI_HAND;
    if (kind == L"exclamation")
        return IDI_EXCLAMATION;
    if (kind == L"information")
        return IDI_ASTERISK;
    if (kind == L"question")
        return IDI_QUESTION;
    return std::nullopt;
}

// Drawn the way a static icon control draws it: at the icon's own size, blended on the
// background.
int IconPixels(const wchar_t* resource, uint32_t background) {
    const HICON icon = LoadIconW(nullptr, resource);
    if (icon == nullptr)
        return Fail(L"LoadIconW failed", GetLastError());
    const int width = GetSystemMetrics(SM_CXICON);
    const int height = GetSystemMetrics(SM_CYICON);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const Bitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    const MemoryDc dc(CreateCompatibleDC(nullptr));
    if (!bitmap || !dc || bits == nullptr)
        return Fail(L"cannot make a bitmap to draw on", GetLastError());
    {
        const Selection selected(dc.Get(), bitmap.Get());
        auto* pixels = static_cast<uint32_t*>(bits);
        // 0xRRGGBB as given is the DIB's own 0x00RRGGBB layout.
        std::fill(pixels, pixels + static_cast<size_t>(width) * height, background & 0xFFFFFF);
        if (!DrawIconEx(dc.Get(), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL))
            return Fail(L"DrawIconEx failed", GetLastError());
        GdiFlush();
    }
    Fact(L"size", std::to_wstring(width) + L"x" + std::to_wstring(height));
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex = "pixels: ";
    const auto* pixels = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        for (const int shift : {16, 8, 0}) {
            const unsigned byte = (pixels[i] >> shift) & 0xFF;
            hex += kDigits[byte >> 4];
            hex += kDigits[byte & 0xF];
        }
    }
    hex += '\n';
    WriteAll(STD_OUTPUT_HANDLE, hex);
    return kExitOk;
}

// The font as the dialog manager makes it from a template's FONT statement.
int TextSize(const wchar_t* face, uint32_t points, uint32_t width, const wchar_t* text) {
    const MemoryDc dc(CreateCompatibleDC(nullptr));
    if (!dc)
        return Fail(L"cannot make a device context", GetLastError());
    const int height = -MulDiv(static_cast<int>(points), GetDeviceCaps(dc.Get(), LOGPIXELSY), 72);
    const Font font(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0,
                                0, PROOF_QUALITY, FF_DONTCARE, face));
    if (!font)
        return Fail(L"CreateFontW failed", GetLastError());
    const Selection selected(dc.Get(), font.Get());
    const int length = static_cast<int>(std::wcslen(text));
    SIZE line{};
    if (!GetTextExtentPoint32W(dc.Get(), text, length, &line))
        return Fail(L"GetTextExtentPoint32W failed", GetLastError());
    RECT wrapped{0, 0, static_cast<LONG>(width), 0};
    DrawTextW(dc.Get(), text, length, &wrapped, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
    wchar_t used[LF_FACESIZE] = {};
    GetTextFaceW(dc.Get(), LF_FACESIZE, used);
    Fact(L"face", used);
    Fact(L"line-width", static_cast<uint64_t>(line.cx));
    Fact(L"line-height", static_cast<uint64_t>(line.cy));
    Fact(L"wrapped-width", static_cast<uint64_t>(wrapped.right - wrapped.left));
    Fact(L"wrapped-height", static_cast<uint64_t>(wrapped.bottom - wrapped.top));
    return kExitOk;
}

int RegDeleteValue(const wchar_t* subkey, const wchar_t* name) {
    HKEY opened = nullptr;
    LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, subkey, 0, KEY_SET_VALUE, &opened);
    if (status == ERROR_FILE_NOT_FOUND) {
        Fact(L"deleted", L"absent");
        return kExitOk;
    }
    if (status != ERROR_SUCCESS)
        return Fail(L"cannot open the key", static_cast<DWORD>(status));
    const Key key(opened);
    status = RegDeleteValueW(key.Get(), name);
    if (status == ERROR_FILE_NOT_FOUND) {
        Fact(L"deleted", L"absent");
        return kExitOk;
    }
    if (status != ERROR_SUCCESS)
        return Fail(L"cannot delete the value", static_cast<DWORD>(status));
    Fact(L"deleted", L"yes");
    return kExitOk;
}

// FormatMessage's text for a code from a message table: the module's, or the system's for none.
int MessageText(HMODULE module, uint32_t code) {
    wchar_t* buffer = nullptr;
    const DWORD source =
        module != nullptr ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM;
    const DWORD length =
        FormatMessageW(source | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                       module, code, LANG_NEUTRAL, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    const LocalText owned(buffer);
    if (length == 0 || buffer == nullptr) {
        Fact(L"text", L"");
        YesNo(L"found", false);
        return kExitOk;
    }
    Fact(L"text", Escaped(std::wstring_view(buffer, length)));
    YesNo(L"found", true);
    return kExitOk;
}

int WininetText(uint32_t code) {
    const Module wininet(LoadLibraryExW(L"wininet.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!wininet)
        return Fail(L"cannot load wininet.dll's resources", GetLastError());
    return MessageText(wininet.Get(), code);
}

int ResourceString(const wchar_t* path, uint32_t id) {
    Module module(
        LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!module)
        module = Module(LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module)
        return Fail(L"cannot load the module's resources", GetLastError());
    const wchar_t* text = nullptr;
    // With a zero length the answer is a pointer to the string inside the resource.
    const int length = LoadStringW(module.Get(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) {
        YesNo(L"found", false);
        return kExitOk;
    }
    YesNo(L"found", true);
    Fact(L"text", Escaped(std::wstring_view(text, static_cast<size_t>(length))));
    return kExitOk;
}

// --- Command line -------------------------------------------------------------------------

int ProgramStart(int argc, wchar_t** argv, int from) {
    for (int i = from; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--") == 0)
            return i + 1 < argc ? i + 1 : -1;
    }
    return -1;
}

int Dispatch(int argc, wchar_t** argv) {
    if (argc < 2)
        return Usage(L"no subcommand");
    const std::wstring_view command = argv[1];
    const int args = argc - 2;
    wchar_t** arg = argv + 2;
    auto number = [&](int i) { return i < args ? ParseNumber(arg[i]) : std::nullopt; };
    auto controlId = [&](int i) { return i < args ? ParseControlId(arg[i]) : std::nullopt; };

    if (command == L"start" && args >= 3) {
        const std::optional<uint32_t> timeout = number(0);
        const int program = ProgramStart(argc, argv, 3);
        if (!timeout || program < 0)
            return Usage(L"start <timeout-ms> [trace ...] -- <program> [args...]");
        std::optional<TraceRequest> trace;
        if (program - 1 > 3) {
            if (std::wcscmp(argv[3], L"trace") != 0)
                return Usage(L"start: only trace may come before --");
            trace = ParseTrace(argv, 4, program - 1);
            if (!trace)
                return Usage(L"trace <title> <duration-ms> <interval-ms> [at <+|-alpha> <id>]...");
        }
        return Start(*timeout, trace, argc - program, argv + program);
    }
    if (command == L"trace" && args >= 4) {
        const std::optional<uint32_t> processId = number(0);
        const std::optional<TraceRequest> trace = ParseTrace(argv, 3, argc);
        if (!processId || !trace)
            return Usage(
                L"trace <pid> <title> <duration-ms> <interval-ms> [at <+|-alpha> <id>]...");
        return TraceProcess(*processId, *trace);
    }
    if (command == L"end-process" && args == 1) {
        const std::optional<uint32_t> processId = number(0);
        if (!processId || *processId == 0)
            return Usage(L"end-process <pid>");
        return EndProcess(*processId);
    }
    if (command == L"find" && args == 3) {
        const std::optional<uint32_t> processId = number(0);
        const std::optional<uint32_t> timeout = number(2);
        if (!processId || !timeout)
            return Usage(L"find <pid|0> <title> <timeout-ms>");
        return Find(*processId, arg[1], *timeout);
    }
    if (command == L"wait-gone" && args == 2) {
        const std::optional<uint32_t> window = number(0);
        const std::optional<uint32_t> timeout = number(1);
        if (!window || !timeout)
            return Usage(L"wait-gone <hwnd> <timeout-ms>");
        return WaitGone(*window, *timeout);
    }
    if (command == L"windows" && args == 1) {
        const std::optional<uint32_t> processId = number(0);
        if (!processId)
            return Usage(L"windows <pid>");
        return ListWindows(*processId);
    }
    if (command == L"controls" && args == 1) {
        const std::optional<uint32_t> window = number(0);
        if (!window)
            return Usage(L"controls <hwnd>");
        return ListControls(*window);
    }
    if ((command == L"text" || command == L"click" || command == L"command") && args == 2) {
        const std::optional<uint32_t> window = number(0);
        const std::optional<int> id = controlId(1);
        if (!window || !id)
            return Usage(std::wstring(command) + L" <hwnd> <id>");
        if (command == L"text")
            return Text(*window, *id);
        if (command == L"click")
            return Click(*window, *id);
        return Command(*window, *id);
    }
    if (command == L"set-text" && args == 3) {
        const std::optional<uint32_t> window = number(0);
        const std::optional<int> id = controlId(1);
        if (!window || !id)
            return Usage(L"set-text <hwnd> <id> <text>");
        return SetText(*window, *id, arg[2]);
    }
    if (command == L"post" && args == 4) {
        const std::optional<uint32_t> window = number(0);
        const std::optional<uint32_t> message = number(1);
        const std::optional<uint32_t> wParam = number(2);
        const std::optional<uint32_t> lParam = number(3);
        if (!window || !message || !wParam || !lParam)
            return Usage(L"post <hwnd> <message> <wparam> <lparam>");
        return Post(*window, *message, *wParam, *lParam);
    }
    if (command == L"focus" && args == 1) {
        const std::optional<uint32_t> window = number(0);
        if (!window)
            return Usage(L"focus <hwnd>");
        return Focus(*window);
    }
    if (command == L"message-box" && args == 2) {
        const std::optional<uint32_t> processId = number(0);
        const std::optional<uint32_t> timeout = number(1);
        if (!processId || !timeout)
            return Usage(L"message-box <pid> <timeout-ms>");
        return MessageBoxOf(*processId, *timeout);
    }
    if (command == L"cursor" && args == 0)
        return Cursor();
    if (command == L"foreground" && args == 0)
        return Foreground();
    if (command == L"second" && args >= 3) {
        const std::optional<uint32_t> timeout = number(0);
        const int program = ProgramStart(argc, argv, 3);
        if (!timeout || program != 4)
            return Usage(L"second <timeout-ms> -- <program> [args...]");
        return Second(*timeout, argc - program, argv + program);
    }
    if (command == L"wininet-text" && args == 1) {
        const std::optional<uint32_t> code = number(0);
        if (!code)
            return Usage(L"wininet-text <code>");
        return WininetText(*code);
    }
    if (command == L"icon-pixels" && args == 2) {
        const std::optional<const wchar_t*> icon = StandardIcon(arg[0]);
        wchar_t* end = nullptr;
        const unsigned long colour = std::wcstoul(arg[1], &end, 16);
        if (!icon || *end != L'\0' || end == arg[1] || colour > 0xFFFFFF)
            return Usage(L"icon-pixels <stop|exclamation|information|question> <rrggbb>");
        return IconPixels(*icon, static_cast<uint32_t>(colour));
    }
    if (command == L"text-size" && args == 4) {
        const std::optional<uint32_t> points = number(1);
        const std::optional<uint32_t> width = number(2);
        if (!points || !width || *points == 0 || *points > 200)
            return Usage(L"text-size <face> <points> <width-px> <text>");
        return TextSize(arg[0], *points, *width, arg[3]);
    }
    if (command == L"reg-delete-value" && args == 2)
        return RegDeleteValue(arg[0], arg[1]);
    if (command == L"system-text" && args == 1) {
        const std::optional<uint32_t> code = number(0);
        if (!code)
            return Usage(L"system-text <code>");
        return MessageText(nullptr, *code);
    }
    if (command == L"string" && args == 2) {
        const std::optional<uint32_t> id = number(1);
        if (!id || *id > 0xFFFF)
            return Usage(L"string <module> <id>");
        return ResourceString(arg[0], *id);
    }
    return Usage(L"unknown subcommand or wrong number of arguments: " + std::wstring(command));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // A fault must end the process with its code rather than wait in an error box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    return Dispatch(argc, argv);
}
