#include "platform/window.h"

#include <string>
#include <utility>

#include "platform/failure.h"
#include "platform/win_app.h"

namespace quillmere {

namespace {

// The object whose window is being created on this thread: its first message attaches them.
thread_local CWnd* t_creating = nullptr;

}  // namespace

CWnd::~CWnd() {
    if (m_hWnd != nullptr) {
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hWnd);
    }
}

CWnd* CWnd::FromHandle(HWND window) {
    if (window == nullptr ||
        GetWindowLongPtrW(window, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&StaticWindowProc)) {
        return nullptr;
    }
    return reinterpret_cast<CWnd*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

std::wstring CWnd::RegisterWindowClass(UINT classStyle) {
    // One class per style, registered on first use and kept for the process.
    const std::wstring name = L"Quillmere:" + std::to_wstring(classStyle);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!GetClassInfoExW(instance, name.c_str(), &existing)) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.style = classStyle;
        wc.lpfnWndProc = &StaticWindowProc;
        wc.hInstance = instance;
        wc.lpszClassName = name.c_str();
        RegisterClassExW(&wc);
    }
    return name;
}

bool CWnd::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                    int x, int y, int width, int height, HWND parent, HMENU menu) {
    CWnd* const outer = t_creating;
    t_creating = this;
    HWND window = CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent,
                                  menu, GetModuleHandleW(nullptr), nullptr);
    t_creating = outer;
    if (window == nullptr) {
        m_hWnd = nullptr;
        return false;
    }
    return true;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return Default(message, wParam, lParam);
}

LRESULT CWnd::Default(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CWnd::StaticWindowProc(HWND window, UINT message, WPARAM wParam,
                                        LPARAM lParam) {
    auto* self = reinterpret_cast<CWnd*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr && t_creating != nullptr) {
        self = std::exchange(t_creating, nullptr);
        self->m_hWnd = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    LRESULT result = 0;
    try {
        result = self->WindowProc(message, wParam, lParam);
    } catch (...) {
        result = ReportCurrentFailure(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
        if (CWinApp* app = CWinApp::Get(); app != nullptr && app->m_pMainWnd == self) {
            app->m_pMainWnd = nullptr;
        }
        try {
            self->PostNcDestroy();
        } catch (...) {
            // Nothing is left to report to: the window is gone.
        }
    }
    return result;
}

}  // namespace quillmere
