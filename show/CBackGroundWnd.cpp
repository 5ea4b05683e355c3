#include "show/CBackGroundWnd.h"

#include "app/CLumerollApp.h"
#include "platform/gdi.h"
#include "show/show_arithmetic.h"

namespace quillmere {

BOOL CBackGroundWnd::Start() {
    if (!CreateSaverWindow(nullptr)) {
        return FALSE;
    }
    SetLayeredWindowAttributes(m_hWnd, 0, 0, LWA_ALPHA);
    SetTimer(m_hWnd, kFadeTimer, static_cast<UINT>(TheApp().m_settings.TimerInterval), nullptr);
    return TRUE;
}

LRESULT CBackGroundWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kFadeTimer) {
                OnTimer(wParam);
                return 0;
            }
            break;
        case WM_PAINT:
            OnPaint();
            return 0;
        default:
            break;
    }
    return CSaverWnd::WindowProc(message, wParam, lParam);
}

void CBackGroundWnd::OnTimer(UINT_PTR id) {
    const SaverSettings& s = TheApp().m_settings;
    const std::optional<uint8_t> alpha = m_fade.Step(s.BGCountFade, s.BGAlpha);
    if (!alpha) {
        KillTimer(m_hWnd, id);  // the veil keeps its last opacity
        return;
    }
    SetLayeredWindowAttributes(m_hWnd, 0, *alpha, LWA_ALPHA);
}

void CBackGroundWnd::OnPaint() {
    PaintDC dc(m_hWnd);
    RECT client{};
    GetClientRect(m_hWnd, &client);
    FillSolidRect(dc.get(), client, TheApp().m_settings.BGColor);
    SetLayeredWindowAttributes(m_hWnd, 0, LowByte(m_fade.m_alpha), LWA_ALPHA);
}

}  // namespace quillmere
