// qmdriver: inspects and drives the screen saver from outside, for the end-to-end tests.
//
// Every subcommand prints its findings on stdout as UTF-8, one "name: value" fact a line (reg-list
// prints its values as name=TYPE:hex). Exit codes: 0 done, 1 a check or an operation failed,
// 2 the command line was wrong.
//
//   reg-list <subkey>                       the values of HKCU\<subkey>, sorted by name
//   reg-subkeys <subkey>                    the names of its direct subkeys, sorted
//   reg-set <subkey> <name> <TYPE> <hex>    raw bytes: "-" for none, "@<file>" to read the hex
//                                           from a file (a long value does not fit a command line)
//   reg-delete-tree <subkey>
//   mutex-exists <name>
//   short-path <path>                       GetShortPathNameW and GetLongPathNameW of a path
//   run <timeout-ms> -- <program> [args...]
//   stand-in <mutex> <title> <timeout-ms> -- <program> [args...]
//                                           plays a first, configuring instance while the
//                                           program runs
//   windows <class> [pid]                   the top-level windows of a class (of one process),
//                                           top first, with their layered attributes and the
//                                           X windows behind them (xid, 0 when unknown)
//   start <timeout-ms> [trace <duration-ms> <interval-ms> <class>] -- <program> [args...]
//                                           starts the program, prints its pid at once, then
//                                           optionally traces its windows' layered attributes
//                                           and waits for its end (ended at the timeout)
//   end-process <pid>                       ends a process the tests started, with code 1
//   post <hwnd> <message> <wparam> <lparam> PostMessageW; numbers in decimal or 0x hex
//   window-exists <hwnd>                    IsWindow
//   parent <frame|plain> <width> <height> <timeout-ms> <stop-file|-> -- <program> [args...]
//                                           hosts the program in a window of its own: an
//                                           argument "{parent}" becomes that window's handle;
//                                           the window is destroyed when the stop file appears
//                                           or the time is up, and the program's end reported
//
// Window handles are printed and read as decimal numbers, the form a preview request takes.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <map>
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

// Traits say what "no handle" is and how one is closed: a file's "none" is
// INVALID_HANDLE_VALUE, most other kernel handles' is null.
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
    Type* Receive() {
        Reset();
        return &handle_;
    }
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

struct FileTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) { CloseHandle(handle); }
};

struct KeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Close(Type key) { RegCloseKey(key); }
};

struct WindowTraits {
    using Type = HWND;
    static Type Invalid() { return nullptr; }
    static void Close(Type window) { DestroyWindow(window); }
};

using Handle = UniqueHandle<KernelTraits>;
using FileHandle = UniqueHandle<FileTraits>;
using Key = UniqueHandle<KeyTraits>;
using Window = UniqueHandle<WindowTraits>;

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

// Written through WriteFile so that neither the console code page nor the C run-time's text
// mode changes a byte: the tests read a pipe or a file.
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

void Line(std::wstring_view text) {
    WriteAll(STD_OUTPUT_HANDLE, ToUtf8(text) + "\n");
}

void Fact(std::wstring_view name, std::wstring_view value) {
    std::wstring line(name);
    line += L": ";
    line += value;
    Line(line);
}

void Fact(std::wstring_view name, uint64_t value) {
    Fact(name, std::to_wstring(value));
}
void YesNo(std::wstring_view name, bool value) {
    Fact(name, value ? L"yes" : L"no");
}

int Fail(std::wstring_view what, DWORD error) {
    WriteAll(STD_ERROR_HANDLE, ToUtf8(L"qmdriver: " + std::wstring(what) + L" (error " +
                                      std::to_wstring(error) + L")\n"));
    return kExitFailed;
}

int Usage(std::wstring_view what) {
    WriteAll(STD_ERROR_HANDLE, ToUtf8(L"qmdriver: " + std::wstring(what) +
                                      L"\nsee the head of qmdriver.cpp for the subcommands\n"));
    return kExitUsage;
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

struct TypeName {
    DWORD type;
    const wchar_t* name;
};

constexpr TypeName kTypeNames[] = {
    {REG_NONE, L"REG_NONE"},
    {REG_SZ, L"REG_SZ"},
    {REG_EXPAND_SZ, L"REG_EXPAND_SZ"},
    {REG_BINARY, L"REG_BINARY"},
    {REG_DWORD, L"REG_DWORD"},
    {REG_DWORD_BIG_ENDIAN, L"REG_DWORD_BIG_ENDIAN"},
    {REG_LINK, L"REG_LINK"},
    {REG_MULTI_SZ, L"REG_MULTI_SZ"},
    {REG_RESOURCE_LIST, L"REG_RESOURCE_LIST"},
    {REG_FULL_RESOURCE_DESCRIPTOR, L"REG_FULL_RESOURCE_DESCRIPTOR"},
    {REG_RESOURCE_REQUIREMENTS_LIST, L"REG_RESOURCE_REQUIREMENTS_LIST"},
    {REG_QWORD, L"REG_QWORD"},
};

std::wstring TypeToText(DWORD type) {
    for (const TypeName& entry : kTypeNames) {
        if (entry.type == type)
            return entry.name;
    }
    return std::to_wstring(type);
}

std::optional<DWORD> TypeFromText(const wchar_t* text) {
    for (const TypeName& entry : kTypeNames) {
        if (_wcsicmp(entry.name, text) == 0)
            return entry.type;
    }
    return ParseNumber(text);
}

std::wstring ToHex(const uint8_t* bytes, size_t size) {
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0xF];
    }
    return out;
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

// White space between digits is allowed, so that a file of hex may wrap its lines.
template <typename Char>
std::optional<std::vector<uint8_t>> FromHex(std::basic_string_view<Char> text) {
    std::vector<uint8_t> out;
    out.reserve(text.size() / 2);
    int high = -1;
    for (const Char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        const int digit = HexDigit(static_cast<wchar_t>(c));
        if (digit < 0)
            return std::nullopt;
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(static_cast<uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0)
        return std::nullopt;
    return out;
}

std::optional<std::string> ReadWholeFile(const wchar_t* path) {
    FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return std::nullopt;
    std::string out;
    char buffer[64 * 1024];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        out.append(buffer, read);
    }
    return out;
}

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
        // Backslashes are literal unless a quote follows them.
        commandLine.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        commandLine += c;
    }
    commandLine.append(backslashes * 2, L'\\');
    commandLine += L'"';
}

// --- Time ---------------------------------------------------------------------------------

class Stopwatch {
  public:
    Stopwatch() {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&start_);
    }
    uint64_t ElapsedMs() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<uint64_t>((now.QuadPart - start_.QuadPart) * 1000 / frequency_.QuadPart);
    }

  private:
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER start_{};
};

// --- Registry -----------------------------------------------------------------------------

int RegList(const wchar_t* subkey) {
    Key key;
    LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, subkey, 0, KEY_QUERY_VALUE, key.Receive());
    if (status == ERROR_FILE_NOT_FOUND) {
        Fact(L"key", L"absent");
        return kExitOk;
    }
    if (status != ERROR_SUCCESS)
        return Fail(L"cannot open the key", status);
    Fact(L"key", L"present");

    DWORD count = 0;
    DWORD maxName = 0;
    DWORD maxData = 0;
    status = RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              &count, &maxName, &maxData, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
        return Fail(L"cannot query the key", status);

    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<uint8_t> data;
    };
    std::vector<Value> values;
    std::vector<wchar_t> name(maxName + 1);
    std::vector<uint8_t> data(std::max<DWORD>(maxData, 1));
    for (DWORD index = 0; index < count; ++index) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        status = RegEnumValueW(key.Get(), index, name.data(), &nameSize, nullptr, &type,
                               data.data(), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            return Fail(L"cannot read a value", status);
        values.push_back({std::wstring(name.data(), nameSize), type,
                          std::vector<uint8_t>(data.begin(), data.begin() + dataSize)});
    }
    std::sort(values.begin(), values.end(), [](const Value& a, const Value& b) {
        const int order = _wcsicmp(a.name.c_str(), b.name.c_str());
        return order != 0 ? order < 0 : a.name < b.name;
    });
    for (const Value& value : values) {
        Line(value.name + L"=" + TypeToText(value.type) + L":" +
             ToHex(value.data.data(), value.data.size()));
    }
    return kExitOk;
}

int RegSubkeys(const wchar_t* subkey) {
    Key key;
    LSTATUS status =
        RegOpenKeyExW(HKEY_CURRENT_USER, subkey, 0, KEY_ENUMERATE_SUB_KEYS, key.Receive());
    if (status == ERROR_FILE_NOT_FOUND) {
        Fact(L"key", L"absent");
        return kExitOk;
    }
    if (status != ERROR_SUCCESS)
        return Fail(L"cannot open the key", status);
    Fact(L"key", L"present");

    std::vector<std::wstring> names;
    wchar_t name[256];  // the longest key name the registry allows, and its NUL
    for (DWORD index = 0;; ++index) {
        DWORD size = ARRAYSIZE(name);
        status = RegEnumKeyExW(key.Get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            return Fail(L"cannot read a subkey", status);
        names.emplace_back(name, size);
    }
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        return _wcsicmp(a.c_str(), b.c_str()) < 0;
    });
    for (const std::wstring& each : names)
        Fact(L"subkey", each);
    return kExitOk;
}

int RegSet(const wchar_t* subkey, const wchar_t* name, const wchar_t* typeText,
           const wchar_t* hexText) {
    const std::optional<DWORD> type = TypeFromText(typeText);
    if (!type)
        return Usage(L"unknown value type");

    std::optional<std::vector<uint8_t>> data;
    if (std::wcscmp(hexText, L"-") == 0) {
        data.emplace();
    } else if (hexText[0] == L'@') {
        const std::optional<std::string> text = ReadWholeFile(hexText + 1);
        if (!text)
            return Fail(L"cannot read the hex file", GetLastError());
        data = FromHex(std::string_view(*text));
    } else {
        data = FromHex(std::wstring_view(hexText));
    }
    if (!data)
        return Usage(L"the data is not hex digits in pairs");

    Key key;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, subkey, 0, nullptr, 0, KEY_SET_VALUE,
                                     nullptr, key.Receive(), nullptr);
    if (status != ERROR_SUCCESS)
        return Fail(L"cannot create the key", status);
    status = RegSetValueExW(key.Get(), name, 0, *type, data->empty() ? nullptr : data->data(),
                            static_cast<DWORD>(data->size()));
    if (status != ERROR_SUCCESS)
        return Fail(L"cannot set the value", status);
    Fact(L"set", static_cast<uint64_t>(data->size()));
    return kExitOk;
}

int RegDeleteTree(const wchar_t* subkey) {
    if (*subkey == L'\0')
        return Usage(L"refusing to delete all of HKEY_CURRENT_USER");
    const LSTATUS status = RegDeleteTreeW(HKEY_CURRENT_USER, subkey);
    if (status == ERROR_FILE_NOT_FOUND) {
        Fact(L"deleted", L"absent");
        return kExitOk;
    }
    if (status != ERROR_SUCCESS)
        return Fail(L"cannot delete the key", status);
    Fact(L"deleted", L"yes");
    return kExitOk;
}

// --- Other small queries ------------------------------------------------------------------

int MutexExists(const wchar_t* name) {
    Handle mutex(OpenMutexW(SYNCHRONIZE, FALSE, name));
    const DWORD error = GetLastError();
    if (!mutex && error != ERROR_FILE_NOT_FOUND)
        return Fail(L"cannot open the mutex", error);
    Fact(L"mutex", mutex ? L"present" : L"absent");
    return kExitOk;
}

std::optional<std::wstring> PathQuery(decltype(&GetShortPathNameW) query, const wchar_t* path) {
    std::wstring out(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = query(path, out.data(), static_cast<DWORD>(out.size()));
        if (size == 0)
            return std::nullopt;
        if (size < out.size()) {
            out.resize(size);
            return out;
        }
        out.resize(size);
    }
}

int ShortPath(const wchar_t* path) {
    const std::optional<std::wstring> shortPath = PathQuery(GetShortPathNameW, path);
    if (!shortPath)
        return Fail(L"GetShortPathNameW failed", GetLastError());
    const std::optional<std::wstring> longPath = PathQuery(GetLongPathNameW, path);
    if (!longPath)
        return Fail(L"GetLongPathNameW failed", GetLastError());
    Fact(L"short-path", *shortPath);
    Fact(L"long-path", *longPath);
    return kExitOk;
}

// --- Child processes ----------------------------------------------------------------------

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
    // The application name is given apart: the path is taken as it is, with no search and no
    // guessing where a name with spaces ends.
    // Wine now and then fails the first start in a fresh session with ERROR_INTERNAL_ERROR;
    // a second try a moment later goes through.
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (CreateProcessW(argv[0], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &startup, &info)) {
            error = ERROR_SUCCESS;
            break;
        }
        error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR) {
            break;
        }
        Sleep(300);
    }
    if (error != ERROR_SUCCESS) {
        Fail(L"cannot start " + std::wstring(argv[0]), error);
        return std::nullopt;
    }
    CloseHandle(info.hThread);
    return Child{Handle(info.hProcess), info.dwProcessId};
}

void ReportEnd(const Child& child, bool exited, uint64_t elapsedMs) {
    YesNo(L"exited", exited);
    DWORD code = 0;
    if (exited && GetExitCodeProcess(child.process.Get(), &code)) {
        Fact(L"exit-code", static_cast<uint64_t>(code));
    } else {
        Fact(L"exit-code", L"none");
    }
    Fact(L"elapsed-ms", elapsedMs);
}

struct WindowCount {
    DWORD processId;
    uint32_t all = 0;
    uint32_t visible = 0;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM param) {
    auto* count = reinterpret_cast<WindowCount*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == count->processId) {
        ++count->all;
        if (IsWindowVisible(window))
            ++count->visible;
    }
    return TRUE;
}

// Windows that live between two looks go unseen; enough to show that a request opens none. The
// looking itself slows a starting child under Wine by some 0.2 s, so the elapsed time is an
// upper bound.
int Run(uint32_t timeoutMs, int argc, wchar_t** argv) {
    std::optional<Child> child = StartChild(argc, argv);
    if (!child)
        return kExitFailed;
    const Stopwatch clock;

    uint32_t windowsSeen = 0;
    uint32_t visibleSeen = 0;
    bool exited = false;
    for (;;) {
        WindowCount count{child->id};
        EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&count));
        windowsSeen = std::max(windowsSeen, count.all);
        visibleSeen = std::max(visibleSeen, count.visible);
        if (WaitForSingleObject(child->process.Get(), 5) == WAIT_OBJECT_0) {
            exited = true;
            break;
        }
        if (clock.ElapsedMs() >= timeoutMs)
            break;
    }
    const uint64_t elapsed = clock.ElapsedMs();
    if (!exited)
        TerminateProcess(child->process.Get(), 1);

    ReportEnd(*child, exited, elapsed);
    Fact(L"windows-seen", static_cast<uint64_t>(windowsSeen));
    Fact(L"visible-windows-seen", static_cast<uint64_t>(visibleSeen));
    return exited ? kExitOk : kExitFailed;
}

// --- Stand-in for a first instance --------------------------------------------------------

// Runs the queue until `done` holds or the time is up; the windows must answer the program
// under test while it looks at them.
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

Window MakeTopLevelWindow(const wchar_t* title, int x) {
    static const wchar_t kClass[] = L"QmDriverStandIn";
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
    Window window(CreateWindowExW(0, kClass, title, WS_OVERLAPPEDWINDOW, x, 80, 400, 300, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr));
    if (window) {
        ShowWindow(window.Get(), SW_SHOW);
        UpdateWindow(window.Get());
    }
    return window;
}

// The time given to the window system to settle a foreground change made by another process.
constexpr uint32_t kForegroundSettleMs = 1500;

int StandIn(const wchar_t* mutexName, const wchar_t* title, uint32_t timeoutMs, int argc,
            wchar_t** argv) {
    Handle mutex(CreateMutexW(nullptr, TRUE, mutexName));
    if (!mutex)
        return Fail(L"cannot create the mutex", GetLastError());
    if (GetLastError() == ERROR_ALREADY_EXISTS)
        return Fail(L"the mutex exists already", 0);

    const Window titled = MakeTopLevelWindow(title, 60);
    const Window other = MakeTopLevelWindow(L"qmdriver bystander", 520);
    if (!titled || !other)
        return Fail(L"cannot create the windows", GetLastError());
    SetForegroundWindow(other.Get());
    const bool otherInFront = PumpUntil(kForegroundSettleMs, nullptr,
                                        [&] { return GetForegroundWindow() == other.Get(); });
    YesNo(L"foreground-before-is-bystander", otherInFront);
    if (!otherInFront)
        return Fail(L"the bystander window did not come to the foreground", 0);

    std::optional<Child> child = StartChild(argc, argv);
    if (!child)
        return kExitFailed;
    const Stopwatch clock;
    const HANDLE process = child->process.Get();
    const bool exited = PumpUntil(timeoutMs, process,
                                  [&] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; });
    const uint64_t elapsed = clock.ElapsedMs();
    if (!exited)
        TerminateProcess(process, 1);

    // The program may end before the foreground change it asked for has arrived here.
    const bool titledInFront = PumpUntil(kForegroundSettleMs, nullptr,
                                         [&] { return GetForegroundWindow() == titled.Get(); });
    ReportEnd(*child, exited, elapsed);
    YesNo(L"foreground-is-title-window", titledInFront);
    return exited ? kExitOk : kExitFailed;
}

// --- Windows of the program ---------------------------------------------------------------

uint64_t HandleNumber(HWND window) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(window));
}

HWND HandleFromNumber(uint32_t number) {
    // 32-bit handles widen with their sign, as the program itself reads a preview handle.
    return reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(number)));
}

std::wstring Hex32(uint32_t value) {
    wchar_t text[16];
    std::swprintf(text, ARRAYSIZE(text), L"0x%08x", value);
    return text;
}

std::wstring RectText(const RECT& rect) {
    return std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top) + L"," +
           std::to_wstring(rect.right) + L"," + std::to_wstring(rect.bottom);
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256];
    const int length = GetClassNameW(window, name, ARRAYSIZE(name));
    return std::wstring(name, static_cast<size_t>(std::max(length, 0)));
}

// What GetLayeredWindowAttributes reports; nothing before the window's first call.
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
    return L"key=" + Hex32(layered.key) + L" alpha=" + std::to_wstring(layered.alpha) +
           L" flags=" + std::to_wstring(layered.flags);
}

struct FoundWindow {
    HWND window;
    DWORD processId;
    uint32_t zRank;  // place among all top-level windows, 0 for the topmost
};

struct WindowSearch {
    std::wstring className;
    DWORD processId;  // 0 for any
    uint32_t rank = 0;
    std::vector<FoundWindow> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    const uint32_t rank = search->rank++;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (search->processId != 0 && owner != search->processId)
        return TRUE;
    if (ClassOf(window) != search->className)
        return TRUE;
    search->found.push_back({window, owner, rank});
    return TRUE;
}

// EnumWindows lists top-level windows in their Z order, the topmost first.
std::vector<FoundWindow> TopLevelWindows(const std::wstring& className, DWORD processId) {
    WindowSearch search{className, processId, 0, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return std::move(search.found);
}

std::wstring DescribeWindow(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return L"rect=" + RectText(rect) + L" style=" +
           Hex32(static_cast<uint32_t>(GetWindowLongW(window, GWL_STYLE))) + L" exstyle=" +
           Hex32(static_cast<uint32_t>(GetWindowLongW(window, GWL_EXSTYLE))) + L" visible=" +
           (IsWindowVisible(window) ? L"yes" : L"no");
}

// The X window behind a top-level window: Wine's X11 driver keeps its id in this property.
uint64_t XWindowOf(HWND window) {
    return static_cast<uint64_t>(
        reinterpret_cast<uintptr_t>(GetPropW(window, L"__wine_x11_whole_window")));
}

int ListWindows(const wchar_t* className, DWORD processId) {
    const std::vector<FoundWindow> found = TopLevelWindows(className, processId);
    for (const FoundWindow& each : found) {
        Fact(L"window", L"hwnd=" + std::to_wstring(HandleNumber(each.window)) + L" pid=" +
                            std::to_wstring(each.processId) + L" z=" +
                            std::to_wstring(each.zRank) + L" xid=" +
                            std::to_wstring(XWindowOf(each.window)) + L" " +
                            DescribeWindow(each.window) + L" " +
                            LayeredText(ReadLayered(each.window)));
    }
    Fact(L"count", static_cast<uint64_t>(found.size()));
    return kExitOk;
}

// 1970-01-01 in FILETIME's 100 ns units since 1601, as milliseconds.
constexpr uint64_t kUnixEpochInFileTimeMs = 11644473600000ull;

// Samples the layered attributes of a process's windows of one class and prints each change,
// with the time of the sample that saw it and of the one before: a value shorter than that gap
// may have come and gone unseen. Times count from `clock`, the child's start.
void TraceLayered(const Child& child, const std::wstring& className, uint32_t durationMs,
                  uint32_t intervalMs, const Stopwatch& clock) {
    // Where the trace's clock starts in Unix time, so that the tests can place their own
    // observations (a screenshot) among the changes.
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const uint64_t unixMs =
        ((static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime) / 10000) -
        kUnixEpochInFileTimeMs;
    Fact(L"trace-clock-unix-ms", unixMs - clock.ElapsedMs());

    std::map<HWND, Layered> last;
    uint64_t samples = 0;
    uint64_t previous = clock.ElapsedMs();
    uint64_t longestGap = 0;
    const uint64_t end = previous + durationMs;
    for (;;) {
        const uint64_t now = clock.ElapsedMs();
        longestGap = std::max(longestGap, now - previous);
        std::map<HWND, Layered> seen;
        for (const FoundWindow& each : TopLevelWindows(className, child.id)) {
            const Layered layered = ReadLayered(each.window);
            seen[each.window] = layered;
            const auto before = last.find(each.window);
            if (before == last.end() || !(before->second == layered)) {
                Fact(L"change", L"t=" + std::to_wstring(now) + L" prev=" +
                                    std::to_wstring(previous) + L" hwnd=" +
                                    std::to_wstring(HandleNumber(each.window)) + L" " +
                                    LayeredText(layered));
            }
        }
        for (const auto& [window, layered] : last) {
            if (seen.find(window) == seen.end()) {
                Fact(L"gone", L"t=" + std::to_wstring(now) + L" hwnd=" +
                                  std::to_wstring(HandleNumber(window)));
            }
        }
        last = std::move(seen);
        ++samples;
        previous = now;
        if (now >= end || WaitForSingleObject(child.process.Get(), intervalMs) == WAIT_OBJECT_0)
            break;
    }
    Fact(L"trace-samples", samples);
    Fact(L"trace-longest-gap-ms", longestGap);
}

int Start(uint32_t timeoutMs, std::optional<std::pair<uint32_t, uint32_t>> trace,
          const wchar_t* traceClass, int argc, wchar_t** argv) {
    std::optional<Child> child = StartChild(argc, argv);
    if (!child)
        return kExitFailed;
    const Stopwatch clock;
    // The tests read this while the program runs.
    Fact(L"pid", static_cast<uint64_t>(child->id));
    if (trace)
        TraceLayered(*child, traceClass, trace->first, trace->second, clock);
    const uint64_t spent = clock.ElapsedMs();
    const DWORD left = spent >= timeoutMs ? 0 : static_cast<DWORD>(timeoutMs - spent);
    const bool exited = WaitForSingleObject(child->process.Get(), left) == WAIT_OBJECT_0;
    const uint64_t elapsed = clock.ElapsedMs();
    if (!exited) {
        TerminateProcess(child->process.Get(), 1);
        WaitForSingleObject(child->process.Get(), 5000);
    }
    ReportEnd(*child, exited, elapsed);
    return kExitOk;
}

int EndProcess(uint32_t processId) {
    Handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
    if (!process) {
        Fact(L"ended", L"gone");
        return kExitOk;
    }
    if (WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0) {
        Fact(L"ended", L"gone");
        return kExitOk;
    }
    if (!TerminateProcess(process.Get(), 1))
        return Fail(L"TerminateProcess failed", GetLastError());
    WaitForSingleObject(process.Get(), 5000);
    Fact(L"ended", L"yes");
    return kExitOk;
}

int Post(uint32_t window, uint32_t message, uint32_t wParam, uint32_t lParam) {
    if (!PostMessageW(HandleFromNumber(window), message, wParam,
                      static_cast<LPARAM>(static_cast<int32_t>(lParam))))
        return Fail(L"PostMessageW failed", GetLastError());
    Fact(L"posted", L"yes");
    return kExitOk;
}

int WindowExists(uint32_t window) {
    YesNo(L"window", IsWindow(HandleFromNumber(window)) != FALSE);
    return kExitOk;
}

// --- A host window for a preview ----------------------------------------------------------

struct ChildSearch {
    std::vector<HWND> found;
};

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    reinterpret_cast<ChildSearch*>(param)->found.push_back(window);
    return TRUE;
}

// Prints each child window of `parent` when first seen and again whenever it changes (one is
// seen inside its creation, before it is made visible), its rectangle in the parent's client
// coordinates.
void ReportChildren(HWND parent, std::map<HWND, std::wstring>& known) {
    ChildSearch search;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&search));
    for (HWND window : search.found) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        RECT rect{};
        GetWindowRect(window, &rect);
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
        std::wstring text =
            L"hwnd=" + std::to_wstring(HandleNumber(window)) + L" pid=" + std::to_wstring(owner) +
            L" class=" + ClassOf(window) + L" rect=" + RectText(rect) + L" style=" +
            Hex32(static_cast<uint32_t>(GetWindowLongW(window, GWL_STYLE))) + L" exstyle=" +
            Hex32(static_cast<uint32_t>(GetWindowLongW(window, GWL_EXSTYLE))) + L" visible=" +
            (IsWindowVisible(window) ? L"yes" : L"no") + L" " + LayeredText(ReadLayered(window));
        std::wstring& before = known[window];
        if (before != text) {
            Fact(L"child", text);
            before = std::move(text);
        }
    }
}

Window MakeHostWindow(bool framed, int width, int height) {
    static const wchar_t kClass[] = L"QmDriverPreviewHost";
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
    const DWORD style = (framed ? WS_OVERLAPPEDWINDOW : WS_POPUP) | WS_VISIBLE;
    Window window(CreateWindowExW(0, kClass, L"qmdriver preview host", style, 100, 100, width,
                                  height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
    if (window)
        UpdateWindow(window.Get());
    return window;
}

// The time the program is given to notice that its parent is gone.
constexpr uint32_t kEndAfterParentMs = 15000;

int Parent(bool framed, uint32_t width, uint32_t height, uint32_t timeoutMs,
           const wchar_t* stopFile, int argc, wchar_t** argv) {
    Window host = MakeHostWindow(framed, static_cast<int>(width), static_cast<int>(height));
    if (!host)
        return Fail(L"cannot create the host window", GetLastError());
    RECT windowRect{};
    RECT clientRect{};
    GetWindowRect(host.Get(), &windowRect);
    GetClientRect(host.Get(), &clientRect);
    const std::wstring handle = std::to_wstring(HandleNumber(host.Get()));
    Fact(L"parent", handle);
    Fact(L"parent-window-rect", RectText(windowRect));
    Fact(L"parent-client-rect", RectText(clientRect));

    std::vector<std::wstring> args(argv, argv + argc);
    for (std::wstring& arg : args) {
        if (arg == L"{parent}")
            arg = handle;
    }
    std::vector<wchar_t*> pointers;
    for (std::wstring& arg : args)
        pointers.push_back(arg.data());
    std::optional<Child> child = StartChild(argc, pointers.data());
    if (!child)
        return kExitFailed;
    Fact(L"pid", static_cast<uint64_t>(child->id));

    // The host answers its messages all along: a child of another process sends it some (its
    // creation's WM_PARENTNOTIFY among them) and waits for the answer.
    const HANDLE process = child->process.Get();
    std::map<HWND, std::wstring> children;
    const bool watchStop = std::wcscmp(stopFile, L"-") != 0;
    const wchar_t* reason = L"timeout";
    PumpUntil(timeoutMs, process, [&] {
        ReportChildren(host.Get(), children);
        if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
            reason = L"program-ended";
            return true;
        }
        if (watchStop && GetFileAttributesW(stopFile) != INVALID_FILE_ATTRIBUTES) {
            reason = L"stop-file";
            return true;
        }
        return false;
    });
    Fact(L"destroy-reason", reason);
    YesNo(L"alive-before-destroy", WaitForSingleObject(process, 0) != WAIT_OBJECT_0);
    YesNo(L"children-before-destroy", IsWindow(host.Get()) && GetWindow(host.Get(), GW_CHILD));

    host = Window();  // destroys it
    const Stopwatch clock;
    const bool exited = PumpUntil(kEndAfterParentMs, process,
                                  [&] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; });
    const uint64_t elapsed = clock.ElapsedMs();
    if (!exited) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
    }
    ReportEnd(*child, exited, elapsed);
    return kExitOk;
}

// --- Command line -------------------------------------------------------------------------

// Finds the "--" that ends the driver's own arguments; the program and its arguments follow.
int ProgramStart(int argc, wchar_t** argv, int from) {
    if (from < argc && std::wcscmp(argv[from], L"--") == 0 && from + 1 < argc)
        return from + 1;
    return -1;
}

int Dispatch(int argc, wchar_t** argv) {
    if (argc < 2)
        return Usage(L"no subcommand");
    const std::wstring_view command = argv[1];
    const int args = argc - 2;
    wchar_t** arg = argv + 2;

    if (command == L"reg-list" && args == 1)
        return RegList(arg[0]);
    if (command == L"reg-subkeys" && args == 1)
        return RegSubkeys(arg[0]);
    if (command == L"reg-set" && args == 4)
        return RegSet(arg[0], arg[1], arg[2], arg[3]);
    if (command == L"reg-delete-tree" && args == 1)
        return RegDeleteTree(arg[0]);
    if (command == L"mutex-exists" && args == 1)
        return MutexExists(arg[0]);
    if (command == L"short-path" && args == 1)
        return ShortPath(arg[0]);
    if (command == L"run" && args >= 3) {
        const std::optional<uint32_t> timeout = ParseNumber(arg[0]);
        const int program = ProgramStart(argc, argv, 3);
        if (!timeout || program < 0)
            return Usage(L"run <timeout-ms> -- <program> [args...]");
        return Run(*timeout, argc - program, argv + program);
    }
    if (command == L"stand-in" && args >= 5) {
        const std::optional<uint32_t> timeout = ParseNumber(arg[2]);
        const int program = ProgramStart(argc, argv, 5);
        if (!timeout || program < 0) {
            return Usage(L"stand-in <mutex> <title> <timeout-ms> -- <program> [args...]");
        }
        return StandIn(arg[0], arg[1], *timeout, argc - program, argv + program);
    }
    if (command == L"windows" && (args == 1 || args == 2)) {
        std::optional<uint32_t> processId = 0u;
        if (args == 2)
            processId = ParseNumber(arg[1]);
        if (!processId)
            return Usage(L"windows <class> [pid]");
        return ListWindows(arg[0], *processId);
    }
    if (command == L"start" && args >= 3) {
        const std::optional<uint32_t> timeout = ParseNumber(arg[0]);
        std::optional<std::pair<uint32_t, uint32_t>> trace;
        const wchar_t* traceClass = L"";
        int from = 3;
        if (args >= 5 && std::wcscmp(arg[1], L"trace") == 0) {
            const std::optional<uint32_t> duration = ParseNumber(arg[2]);
            const std::optional<uint32_t> interval = ParseNumber(arg[3]);
            if (!duration || !interval)
                return Usage(L"start: trace <duration-ms> <interval-ms> <class>");
            trace.emplace(*duration, *interval);
            traceClass = arg[4];
            from = 7;
        }
        const int program = ProgramStart(argc, argv, from);
        if (!timeout || program < 0) {
            return Usage(
                L"start <timeout-ms> [trace <duration-ms> <interval-ms> <class>] -- <program> "
                L"[args...]");
        }
        return Start(*timeout, trace, traceClass, argc - program, argv + program);
    }
    if (command == L"end-process" && args == 1) {
        const std::optional<uint32_t> processId = ParseNumber(arg[0]);
        if (!processId || *processId == 0)
            return Usage(L"end-process <pid>");
        return EndProcess(*processId);
    }
    if (command == L"post" && args == 4) {
        const std::optional<uint32_t> window = ParseNumber(arg[0]);
        const std::optional<uint32_t> message = ParseNumber(arg[1]);
        const std::optional<uint32_t> wParam = ParseNumber(arg[2]);
        const std::optional<uint32_t> lParam = ParseNumber(arg[3]);
        if (!window || !message || !wParam || !lParam)
            return Usage(L"post <hwnd> <message> <wparam> <lparam>");
        return Post(*window, *message, *wParam, *lParam);
    }
    if (command == L"window-exists" && args == 1) {
        const std::optional<uint32_t> window = ParseNumber(arg[0]);
        if (!window)
            return Usage(L"window-exists <hwnd>");
        return WindowExists(*window);
    }
    if (command == L"parent" && args >= 7) {
        const std::wstring_view kind = arg[0];
        const std::optional<uint32_t> width = ParseNumber(arg[1]);
        const std::optional<uint32_t> height = ParseNumber(arg[2]);
        const std::optional<uint32_t> timeout = ParseNumber(arg[3]);
        const int program = ProgramStart(argc, argv, 7);
        if ((kind != L"frame" && kind != L"plain") || !width || !height || !timeout ||
            program < 0) {
            return Usage(
                L"parent <frame|plain> <width> <height> <timeout-ms> <stop-file|-> -- <program> "
                L"[args...]");
        }
        return Parent(kind == L"frame", *width, *height, *timeout, arg[4], argc - program,
                      argv + program);
    }
    return Usage(L"unknown subcommand or wrong number of arguments: " + std::wstring(command));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // A fault must end the process with its code rather than wait in an error box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    return Dispatch(argc, argv);
}
