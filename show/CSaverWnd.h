// The base of the show's two windows: creates them full-screen and layered (or as a preview
// child), ends the show on input in show mode, and ends the process when a window is destroyed.
#pragma once

#include <windows.h>

#include "platform/window.h"

namespace quillmere {

class CSaverWnd : public CWnd {
public:
    CSaverWnd() = default;
    ~CSaverWnd() override = default;

    // Non-zero when the window exists: a full-screen layered popup without a parent, a child
    // filling the parent's window rectangle with one.
    BOOL CreateSaverWindow(HWND parent);

    BOOL m_bAutoDelete = TRUE;
    POINT m_ptFirstMouse{-1, -1};

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PostNcDestroy() override;

private:
    void RequestClose();
};

}  // namespace quillmere
