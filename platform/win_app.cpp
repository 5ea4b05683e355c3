#include "platform/win_app.h"

#include <vector>

#include "app/program_name.h"
#include "platform/registry_profile_store.h"
#include "platform/window.h"
#include "platform/wide_text.h"

namespace quillmere {

namespace {

CWinApp* g_app = nullptr;

std::wstring ModuleFileName() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

// When the idle time runs out, Windows starts a saver through its 8.3 short path; the long form
// keeps the program name, and with it the registry key, the same as in its settings.
std::wstring LongPathOf(const std::wstring& path) {
    const DWORD needed = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0) {
        return path;
    }
    std::vector<wchar_t> buffer(needed);
    const DWORD length = GetLongPathNameW(path.c_str(), buffer.data(), needed);
    if (length == 0 || length >= needed) {
        return path;
    }
    return std::wstring(buffer.data(), length);
}

// Where no profile has been selected, reads give their defaults and writes fail.
class NoProfileStore final : public ProfileStore {
public:
    int32_t ReadInteger(std::u16string_view, std::u16string_view, int32_t fallback) override {
        return fallback;
    }
    std::u16string ReadString(std::u16string_view, std::u16string_view,
                                    const std::u16string& fallback) override {
        return fallback;
    }
    bool WriteInteger(std::u16string_view, std::u16string_view, int32_t) override {
        return false;
    }
    bool WriteString(std::u16string_view, std::u16string_view,
                            std::u16string_view) override {
        return false;
    }
};

}  // namespace

CWinApp::CWinApp() : m_profile(std::make_unique<NoProfileStore>()) {
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) {
        g_app = nullptr;
    }
}

CWinApp* CWinApp::Get() {
    return g_app;
}

int CWinApp::Run() {
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return msg.message == WM_QUIT ? static_cast<int>(msg.wParam) : 0;
}

HWND CWinApp::MainWindow() const {
    return m_pMainWnd != nullptr ? m_pMainWnd->m_hWnd : nullptr;
}

void CWinApp::SetRegistryKey(const std::wstring& company) {
    m_profile = std::make_unique<RegistryProfileStore>(FromWide(company), FromWide(AppName()));
}

ProfileStore& CWinApp::Profile() {
    return *m_profile;
}

int CWinApp::Start(HINSTANCE instance) {
    m_instance = instance;
    const std::u16string modulePath = FromWide(LongPathOf(ModuleFileName()));
    m_programName = ToWide(ProgramNameFromPath(modulePath));
    m_helpFilePath = ToWide(HelpFilePathFromPath(modulePath));
    if (!InitInstance()) {
        return 0;
    }
    return Run();
}

std::wstring LoadResourceString(UINT id) {
    const wchar_t* text = nullptr;
    const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) {
        return {};
    }
    return std::wstring(text, static_cast<size_t>(length));
}

}  // namespace quillmere
