#include "platform/dialog.h"

#include <string>
#include <vector>

#include "dialogs/dialog_rules.h"
#include "platform/failure.h"
#include "platform/wide_text.h"
#include "platform/win_app.h"

namespace quillmere {

namespace {

void ShowInputMessage(HWND dialog, const char16_t* text, int id) {
    const CWinApp* app = CWinApp::Get();
    MessageBoxW(dialog, ToWide(text).c_str(), app != nullptr ? app->AppName().c_str() : L"",
                MB_OK | MB_ICONEXCLAMATION);
    HWND control = GetDlgItem(dialog, id);
    SetFocus(control);
    SendMessageW(control, EM_SETSEL, 0, -1);
}

std::u16string ControlText(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    const int length = GetWindowTextLengthW(control);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    const int got = GetWindowTextW(control, buffer.data(), length + 1);
    return FromWide(std::wstring_view(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0));
}

}  // namespace

bool DDX_Check(CDataExchange& dx, int id, int32_t& value) {
    HWND control = GetDlgItem(dx.m_hDialog, id);
    if (dx.m_bSaveAndValidate) {
        value = static_cast<int32_t>(SendMessageW(control, BM_GETCHECK, 0, 0));
    } else {
        value = CheckBoxValueToShow(value);
        SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(value), 0);
    }
    return true;
}

bool DDX_Text(CDataExchange& dx, int id, int32_t& value) {
    if (!dx.m_bSaveAndValidate) {
        SetDlgItemTextW(dx.m_hDialog, id, std::to_wstring(value).c_str());
        return true;
    }
    const std::optional<int32_t> read = ParseDialogInteger(ControlText(dx.m_hDialog, id));
    if (!read) {
        ShowInputMessage(dx.m_hDialog, kIntegerMessage, id);
        return false;
    }
    value = *read;
    return true;
}

bool DDV_MinMaxInt(CDataExchange& dx, int id, int32_t value, int32_t minimum, int32_t maximum) {
    if (!dx.m_bSaveAndValidate || (value >= minimum && value <= maximum)) {
        return true;
    }
    // The one range this program asks for; its text names it.
    ShowInputMessage(dx.m_hDialog, kOpacityRangeMessage, id);
    return false;
}

INT_PTR CDialog::DoModal() {
    HWND owner = m_parent;
    if (owner == nullptr) {
        if (const CWinApp* app = CWinApp::Get()) {
            owner = app->MainWindow();
        }
    }
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), owner,
                           &StaticDialogProc, reinterpret_cast<LPARAM>(this));
}

bool CDialog::UpdateData(bool saveAndValidate) {
    CDataExchange dx(m_hWnd, saveAndValidate);
    return DoDataExchange(dx);
}

BOOL CDialog::OnInitDialog() {
    UpdateData(false);
    return TRUE;
}

void CDialog::OnOK() {
    if (UpdateData(true)) {
        EndDialog(IDOK);
    }
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

bool CDialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR&) {
    return false;
}

void CDialog::EndDialog(INT_PTR result) {
    ::EndDialog(m_hWnd, result);
}

int CDialog::ShowMessage(const wchar_t* text, UINT style) {
    const CWinApp* app = CWinApp::Get();
    return MessageBoxW(m_hWnd, text, app != nullptr ? app->AppName().c_str() : L"", style);
}

INT_PTR CDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED || lParam == 0) {
                if (LOWORD(wParam) == IDOK) {
                    OnOK();
                    return TRUE;
                }
                if (LOWORD(wParam) == IDCANCEL) {
                    OnCancel();
                    return TRUE;
                }
            }
            break;
        default:
            break;
    }
    INT_PTR result = FALSE;
    return OnMessage(message, wParam, lParam, result) ? result : FALSE;
}

INT_PTR CALLBACK CDialog::StaticDialogProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    auto* self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        self->m_hWnd = window;
        SetWindowLongPtrW(window, DWLP_USER, lParam);
    }
    if (self == nullptr) {
        return FALSE;
    }
    INT_PTR result = FALSE;
    try {
        result = self->DialogProc(message, wParam, lParam);
    } catch (...) {
        // A failure in the initialisation is reported like any other; the dialog then opens.
        result = ReportCurrentFailure(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, DWLP_USER, 0);
        self->m_hWnd = nullptr;
        if (CWinApp* app = CWinApp::Get(); app != nullptr && app->m_pMainWnd == self) {
            app->m_pMainWnd = nullptr;
        }
    }
    return result;
}

}  // namespace quillmere
