#include "show/CSaverWnd.h"

#include <windowsx.h>

#include "app/CLumerollApp.h"
#include "show/saver_activation_guard.h"

namespace quillmere {

namespace {

constexpr DWORD kShowStyle = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr DWORD kShowExStyle = WS_EX_LAYERED | WS_EX_TOOLWINDOW;  // no taskbar button, not topmost
constexpr DWORD kPreviewStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
static_assert(kShowStyle == 0x96000000 && kShowExStyle == 0x00080080 && kPreviewStyle == 0x56000000);

bool InShowMode() {
    return TheApp().m_mode == SaverMode::Show;
}

}  // namespace

BOOL CSaverWnd::CreateSaverWindow(HWND parent) {
    const std::wstring className = RegisterWindowClass(CS_HREDRAW | CS_VREDRAW);
    bool created = false;
    if (parent == nullptr) {
        if (InShowMode()) {
            SaverActivationGuard::Install();
        }
        created = CreateEx(kShowExStyle, className.c_str(), L"", kShowStyle, 0, 0,
                           GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                           nullptr);
    } else {
        RECT rect{};
        GetWindowRect(parent, &rect);
        created = CreateEx(0, className.c_str(), L"", kPreviewStyle, 0, 0, rect.right - rect.left,
                           rect.bottom - rect.top, parent, nullptr);
    }
    if (!created) {
        return FALSE;
    }
    SetLayeredWindowAttributes(m_hWnd, 0, 0, 0);
    return TRUE;
}

void CSaverWnd::RequestClose() {
    PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
}

LRESULT CSaverWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN:
        case WM_LBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_RBUTTONDOWN:
            if (InShowMode()) {
                RequestClose();
            }
            break;
        case WM_MOUSEMOVE:
            if (InShowMode()) {
                // No tolerance: one pixel away from the first position seen ends the show.
                const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
                if (m_ptFirstMouse.x == -1 && m_ptFirstMouse.y == -1) {
                    m_ptFirstMouse = at;
                } else if (at.x != m_ptFirstMouse.x || at.y != m_ptFirstMouse.y) {
                    RequestClose();
                }
            }
            break;
        case WM_ACTIVATE:
            if (InShowMode() && LOWORD(wParam) == WA_INACTIVE) {
                RequestClose();
            }
            break;
        case WM_ACTIVATEAPP:
            if (InShowMode() && wParam == FALSE) {
                RequestClose();
            }
            break;
        case WM_NCACTIVATE:
            if (InShowMode() && wParam == FALSE) {
                return FALSE;  // refuse to become inactive
            }
            break;
        case WM_MOUSEACTIVATE:
            // A click on the photo window must not try to activate it: the guard would refuse,
            // and the refused click would be dropped instead of ending the show.
            if (InShowMode()) {
                return MA_NOACTIVATE;
            }
            break;
        case WM_SETCURSOR:
            if (InShowMode()) {
                SetCursor(nullptr);
            }
            break;
        case WM_SYSCOMMAND:
            // Compared whole, without masking the low four bits.
            if (wParam == SC_SCREENSAVE || wParam == SC_CLOSE) {
                return 0;
            }
            break;
        case WM_DESTROY:
            PostQuitMessage(0);
            break;
        default:
            break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

void CSaverWnd::PostNcDestroy() {
    if (m_bAutoDelete) {
        delete this;
    }
}

}  // namespace quillmere
