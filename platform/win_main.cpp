// The program's entry: hands control to its one application object.
#include <windows.h>

#include "platform/win_app.h"

namespace {

// A screen saver is often started from a downloads folder: libraries are looked for in the system
// folder only, never beside the program. The call is missing on an unpatched Windows 7.
void RestrictLibrarySearch() {
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto set = reinterpret_cast<SetDirectories>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (set != nullptr) {
        set(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    SetDllDirectoryW(L"");  // and not the current folder either
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    RestrictLibrarySearch();
    quillmere::CWinApp* app = quillmere::CWinApp::Get();
    return app != nullptr ? app->Start(instance) : 0;
}
