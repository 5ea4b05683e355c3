// The window base: one window object per window, messages from a static thunk to the object's
// WindowProc, default processing as the fall-through, and the failure handler around each message.
#pragma once

#include <windows.h>

#include <string>

namespace quillmere {

class CWnd {
public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd();

    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object behind a window of ours, or null.
    static CWnd* FromHandle(HWND window);

    HWND m_hWnd = nullptr;

protected:
    // Registers a window class with this style once per process and gives its name.
    static std::wstring RegisterWindowClass(UINT classStyle);

    // CreateWindowExW for this object; no creation parameter is passed. False on failure.
    bool CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                  int x, int y, int width, int height, HWND parent, HMENU menu);

    // Overridden with a switch over the messages a class handles; the rest go to the base.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

    // After the window is gone for good; the object may delete itself here.
    virtual void PostNcDestroy() {}

private:
    static LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam);
};

}  // namespace quillmere
