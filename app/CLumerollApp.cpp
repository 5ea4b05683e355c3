#include "app/CLumerollApp.h"

#include <windows.h>
#include <commctrl.h>
#include <stdlib.h>

#include <vector>

#include "dialogs/CLumerollDlg.h"
#include "platform/shell_folders.h"
#include "show/CBackGroundWnd.h"
#include "show/CImageWnd.h"
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
    m_com.emplace();  // for the photo decoder and the shell's dialogs
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
    CLumerollDlg dialog;
    m_pMainWnd = &dialog;
    dialog.m_values = m_settings;
    if (dialog.DoModal() == IDOK) {
        m_settings = dialog.m_values;
        SaveSettings(m_settings, Profile());
    }
    m_pMainWnd = nullptr;
    return FALSE;
}

// The veil first, so that the photo window lies above it. A process without any window could
// not be ended by the user, so a show whose windows cannot be created ends at once.
BOOL CLumerollApp::StartShow() {
    auto* veil = new CBackGroundWnd;
    if (veil->Start()) {
        m_pMainWnd = veil;
    } else {
        delete veil;  // it never had a window that would delete it
    }
    auto* photos = new CImageWnd;
    if (!photos->Start(nullptr)) {
        delete photos;
    } else if (m_pMainWnd == nullptr) {
        m_pMainWnd = photos;
    }
    return m_pMainWnd != nullptr;
}

// A preview lives inside the control panel's window. Without a window to live in (a handle of 0,
// or one that is no window) it would run where the user cannot end it, so it ends at once.
BOOL CLumerollApp::StartPreview(int32_t parent) {
    // Window handles are 32-bit values; 64-bit Windows widens them with their sign.
    HWND parentWindow = reinterpret_cast<HWND>(static_cast<intptr_t>(parent));
    if (parentWindow == nullptr || !IsWindow(parentWindow)) {
        return FALSE;
    }
    auto* photos = new CImageWnd;
    if (!photos->Start(parentWindow)) {
        delete photos;
        return FALSE;
    }
    m_pMainWnd = photos;
    return TRUE;
}

}  // namespace quillmere
