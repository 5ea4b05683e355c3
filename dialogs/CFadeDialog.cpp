#include "dialogs/CFadeDialog.h"

namespace quillmere {

void MakeLayered(HWND dialog) {
    const LONG_PTR exStyle = GetWindowLongPtrW(dialog, GWL_EXSTYLE);
    SetWindowLongPtrW(dialog, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
}

BOOL CFadeDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    m_fade.m_opacity = 0;
    MakeLayered(m_hWnd);
    SetTimer(m_hWnd, FadeState::kFadeInTimer, FadeState::kPeriodMs, nullptr);
    return TRUE;
}

void CFadeDialog::StartFadeOut() {
    KillTimer(m_hWnd, FadeState::kFadeInTimer);
    SetTimer(m_hWnd, FadeState::kFadeOutTimer, FadeState::kPeriodMs, nullptr);
}

// OK, Enter, Escape, the close box and the system menu's Close all fade the dialog out.
void CFadeDialog::OnOK() {
    StartFadeOut();
}

void CFadeDialog::OnCancel() {
    StartFadeOut();
}

void CFadeDialog::OnTimer(UINT_PTR id) {
    if (id == FadeState::kFadeInTimer) {
        if (m_fade.StepIn()) {
            KillTimer(m_hWnd, id);
        }
    } else if (id == FadeState::kFadeOutTimer) {
        if (m_fade.StepOut()) {
            KillTimer(m_hWnd, id);
            CDialog::OnOK();  // the standard end, which always succeeds here: no data to exchange
        }
    } else {
        return;
    }
    SetLayeredWindowAttributes(m_hWnd, 0, static_cast<BYTE>(m_fade.m_opacity), LWA_ALPHA);
}

bool CFadeDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    if (message == WM_TIMER) {
        OnTimer(wParam);
        return false;  // and the default processing as well
    }
    return CDialog::OnMessage(message, wParam, lParam, result);
}

}  // namespace quillmere
