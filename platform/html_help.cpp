#include "platform/html_help.h"

namespace quillmere {

namespace {

constexpr UINT kHelpContextCommand = 0x000F;  // HH_HELP_CONTEXT

using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);

// By its full path in the system folder, so that no file of that name beside the program loads.
HMODULE LoadFromSystemFolder(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    std::wstring path(folder, length);
    path += L'\\';
    path += name;
    return LoadLibraryW(path.c_str());
}

HtmlHelpFunction LoadHtmlHelp() {
    static HMODULE module = LoadFromSystemFolder(L"hhctrl.ocx");
    if (module == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<HtmlHelpFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "HtmlHelpW")));
}

}  // namespace

bool ShowHelpContext(HWND caller, const std::wstring& helpFile, DWORD context) {
    const HtmlHelpFunction htmlHelp = LoadHtmlHelp();
    if (htmlHelp == nullptr) {
        return false;
    }
    htmlHelp(caller, helpFile.c_str(), kHelpContextCommand, context);
    return true;
}

}  // namespace quillmere
