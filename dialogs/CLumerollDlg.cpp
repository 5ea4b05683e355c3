#include "dialogs/CLumerollDlg.h"

#include <commdlg.h>
#include <shlobj.h>

#include <string>

#include "dialogs/CAboutDlg.h"
#include "dialogs/CFadeDialog.h"
#include "platform/gdi.h"
#include "platform/html_help.h"
#include "platform/wide_text.h"
#include "platform/win_app.h"
#include "res/resource.h"
#include "update/CDialogCheckUpdate.h"

namespace quillmere {

namespace {

constexpr UINT kAboutCommand = 16;

// The colour chooser's custom colours belong to the process; they start white.
COLORREF g_customColours[16] = {
    0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
    0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};

int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED) {
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);  // open on the current folder
    }
    return 0;
}

HWND MainWindowOrNull() {
    const CWinApp* app = CWinApp::Get();
    return app != nullptr ? app->MainWindow() : nullptr;
}

}  // namespace

CLumerollDlg::CLumerollDlg()
    : CDialog(kTemplate, nullptr),
      m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_ICON))) {}

bool CLumerollDlg::DoDataExchange(CDataExchange& dx) {
    return DDX_Check(dx, IDC_INCLUDE_SUBFOLDER, m_values.IncludeSubFolder) &&
           DDX_Check(dx, IDC_SHOW_RANDOM, m_values.ImageShowRandom) &&
           DDX_Text(dx, IDC_OPACITY, m_values.BGAlpha) &&
           DDV_MinMaxInt(dx, IDC_OPACITY, m_values.BGAlpha, 0, 255);
}

BOOL CLumerollDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    if (HMENU menu = GetSystemMenu(m_hWnd, FALSE)) {
        const std::wstring about = LoadResourceString(IDS_ABOUT_MENU);
        if (!about.empty()) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(menu, MF_STRING, kAboutCommand, about.c_str());
        }
    }
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    // A second configuration process finds this dialog by its title.
    SetWindowTextW(m_hWnd, LoadResourceString(IDS_APP_TITLE).c_str());
    SetDlgItemTextW(m_hWnd, IDC_FOLDER, ToWide(m_values.ImageFolderPath).c_str());
    MakeLayered(m_hWnd);
    SetTimer(m_hWnd, FadeState::kFadeInTimer, FadeState::kPeriodMs, nullptr);
    return TRUE;
}

void CLumerollDlg::StartFadeOut(INT_PTR result) {
    KillTimer(m_hWnd, FadeState::kFadeInTimer);
    m_result = result;
    SetTimer(m_hWnd, FadeState::kFadeOutTimer, FadeState::kPeriodMs, nullptr);
}

void CLumerollDlg::OnOK() {
    // A refused value keeps the dialog open: its message has been shown.
    if (UpdateData(true)) {
        StartFadeOut(IDOK);
    }
}

void CLumerollDlg::OnCancel() {
    StartFadeOut(IDCANCEL);
}

void CLumerollDlg::OnTimer(UINT_PTR id) {
    if (id == FadeState::kFadeInTimer) {
        if (m_fade.StepIn()) {
            KillTimer(m_hWnd, id);
        }
    } else if (id == FadeState::kFadeOutTimer) {
        if (m_fade.StepOut()) {
            KillTimer(m_hWnd, id);
            EndDialog(m_result);  // the last press decides; no further data exchange
        }
    } else {
        return;
    }
    SetLayeredWindowAttributes(m_hWnd, 0, static_cast<BYTE>(m_fade.m_opacity), LWA_ALPHA);
}

void CLumerollDlg::BrowseForFolder() {
    const std::wstring title = LoadResourceString(IDS_BROWSE_TITLE);
    std::wstring current = ToWide(m_values.ImageFolderPath);
    wchar_t path[MAX_PATH] = {};
    BROWSEINFOW info{};
    info.hwndOwner = MainWindowOrNull();
    info.pszDisplayName = path;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_UAHINT | BIF_NONEWFOLDERBUTTON;
    static_assert((BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_UAHINT |
                   BIF_NONEWFOLDERBUTTON) == 0x341);
    info.lpfn = &BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(current.c_str());
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (chosen == nullptr) {
        return;
    }
    if (SHGetPathFromIDListW(chosen, path)) {
        m_values.ImageFolderPath = FromWide(path);
        SetDlgItemTextW(m_hWnd, IDC_FOLDER, path);
    }
    CoTaskMemFree(chosen);
}

void CLumerollDlg::ChooseColour() {
    CHOOSECOLORW chooser{};
    chooser.lStructSize = sizeof(chooser);
    chooser.hwndOwner = MainWindowOrNull();
    chooser.rgbResult = m_values.BGColor;
    chooser.lpCustColors = g_customColours;
    // Black is the starting result but never shown preselected.
    chooser.Flags = m_values.BGColor != 0 ? CC_RGBINIT : 0;
    if (ChooseColorW(&chooser)) {
        m_values.BGColor = chooser.rgbResult;
        InvalidateRect(GetDlgItem(m_hWnd, IDC_COLOR_SWATCH), nullptr, TRUE);
    }
}

void CLumerollDlg::OpenAbout() {
    CAboutDlg about;
    about.DoModal();
}

void CLumerollDlg::OpenHelp() {
    const CWinApp* app = CWinApp::Get();
    if (app != nullptr) {
        ShowHelpContext(m_hWnd, app->HelpFilePath(), kHelpContextBase + kTemplate);
    }
}

void CLumerollDlg::PaintMinimised() {
    PaintDC paint(m_hWnd);
    SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.get()), 0);
    const int cx = GetSystemMetrics(SM_CXICON);
    const int cy = GetSystemMetrics(SM_CYICON);
    RECT client{};
    GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - cx + 1) / 2;
    const int y = (client.bottom - client.top - cy + 1) / 2;
    DrawIcon(paint.get(), x, y, m_hIcon);
}

bool CLumerollDlg::OnCommand(UINT id) {
    switch (id) {
        case IDC_BROWSE:
            BrowseForFolder();
            return true;
        case IDC_ABOUT:
            OpenAbout();
            return true;
        case IDC_CHECK_UPDATE: {
            CDialogCheckUpdate check;
            check.DoModal();
            return true;
        }
        case IDC_COLOR:
            ChooseColour();
            return true;
        case IDC_HELP_BUTTON:
            OpenHelp();
            return true;
        default:
            return false;
    }
}

bool CLumerollDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    switch (message) {
        case WM_TIMER:
            OnTimer(wParam);
            return false;  // and the default processing as well
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && OnCommand(LOWORD(wParam))) {
                result = TRUE;
                return true;
            }
            break;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == kAboutCommand) {
                OpenAbout();
                result = TRUE;
                return true;
            }
            break;
        case WM_PAINT:
            if (IsIconic(m_hWnd)) {
                PaintMinimised();
                result = TRUE;
                return true;
            }
            break;
        case WM_QUERYDRAGICON:
            result = reinterpret_cast<INT_PTR>(m_hIcon);
            return true;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (wParam == IDC_COLOR_SWATCH && item != nullptr) {
                FillSolidRect(item->hDC, item->rcItem, m_values.BGColor);
                result = TRUE;
                return true;
            }
            break;
        }
        default:
            break;
    }
    return CDialog::OnMessage(message, wParam, lParam, result);
}

}  // namespace quillmere
