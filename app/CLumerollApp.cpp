#include "app/CLumerollApp.h"

#include <windows.h>
#include <commctrl.h>
#include <stdlib.h>

#include <vector>

#include "platform/shell_folders.h"
#include "platform/wide_text.h"
#include "res/resource.h"
#include "settings/settings_persistence.h"

namespace quillmere {

namespace {

CLumerollApp theApp;

// The arguments after the program path, split by the C run-time's rules.
std::vector<std::u16string> CommandArguments() {
    std::vector<std::u16string> args;
    for (int i = 1; i < __argc && __wargv != nullptr; ++i) {
        args.push_back(FromWide(__wargv[i]));
    }
    return args;
}

}  // namespace

CLumerollApp& TheApp() {
    return theApp;
}

CLumerollApp::CLumerollApp() = default;

BOOL CLumerollApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    CWinApp::InitInstance();
    SetRegistryKey(L"Brindlewick");
    LoadSettings(m_settings, Profile(), [] { return MyPicturesFolder(); });

    const std::vector<std::u16string> args = CommandArguments();
    const LaunchRequest request = ParseCommandLine(args);
    switch (request.action) {
        case LaunchAction::Preview:
            // Without its handle there is no preview area to run in: end like an unknown request.
            if (!request.hasParent) {
                return FALSE;
            }
            m_mode = SaverMode::Preview;
            return StartPreview(request.parent);
        case LaunchAction::Show:
            m_mode = SaverMode::Show;
            return StartShow();
        case LaunchAction::Configure:
            return RunConfiguration();
        case LaunchAction::Unrecognised:
            break;
    }
    return FALSE;
}

BOOL CLumerollApp::RunConfiguration() {
    m_configMutex.reset(CreateMutexW(nullptr, TRUE, ProgramName().c_str()));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        const std::wstring title = LoadResourceString(IDS_APP_TITLE);
        if (HWND running = FindWindowW(nullptr, title.c_str())) {
            SetForegroundWindow(running);
        }
        return FALSE;
    }
    m_mode = SaverMode::Configure;
    // The settings dialog comes here: run on a copy of all fifteen values, which are copied back
    // and saved only when it ends with IDOK.
    return FALSE;
}

// The show's veil and photo window come here. A process without any window could not be ended
// by the user, so a show that cannot start ends at once.
BOOL CLumerollApp::StartShow() {
    return FALSE;
}

BOOL CLumerollApp::StartPreview(int32_t) {
    return FALSE;
}

}  // namespace quillmere
