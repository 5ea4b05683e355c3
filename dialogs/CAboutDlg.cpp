#include "dialogs/CAboutDlg.h"

#include <shellapi.h>

#include <vector>

#include "res/resource.h"

namespace quillmere {

BOOL CAboutDlg::OnInitDialog() {
    CFadeDialog::OnInitDialog();
    HWND link = GetDlgItem(m_hWnd, IDC_ABOUT_LINK);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(link, WM_GETFONT, 0, 0));
    LOGFONTW description{};
    if (font != nullptr && GetObjectW(font, sizeof(description), &description) != 0) {
        description.lfUnderline = TRUE;
        m_linkFont.reset(CreateFontIndirectW(&description));
    }
    // Without the underlined font the link draws in the system font.
    SendMessageW(link, WM_SETFONT, reinterpret_cast<WPARAM>(m_linkFont.get()), TRUE);
    return TRUE;
}

void CAboutDlg::OpenLink() {
    // Exactly what the link shows is what opens.
    HWND link = GetDlgItem(m_hWnd, IDC_ABOUT_LINK);
    std::vector<wchar_t> text(static_cast<size_t>(GetWindowTextLengthW(link)) + 1);
    GetWindowTextW(link, text.data(), static_cast<int>(text.size()));
    ShellExecuteW(nullptr, nullptr, text.data(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool CAboutDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_ABOUT_LINK && HIWORD(wParam) == STN_CLICKED) {
                OpenLink();
                result = TRUE;
                return true;
            }
            break;
        case WM_CTLCOLORSTATIC: {
            // The default colours and brush, with blue text for the link alone.
            result = DefWindowProcW(m_hWnd, message, wParam, lParam);
            if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_ABOUT_LINK) {
                SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 255));
            }
            return true;
        }
        case WM_SETCURSOR:
            if (GetDlgCtrlID(reinterpret_cast<HWND>(wParam)) == IDC_ABOUT_LINK) {
                SetCursor(LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_HAND_CURSOR)));
                SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, TRUE);
                result = TRUE;
                return true;
            }
            break;
        case WM_DESTROY:
            m_linkFont.reset();
            break;
        default:
            break;
    }
    return CFadeDialog::OnMessage(message, wParam, lParam, result);
}

}  // namespace quillmere
