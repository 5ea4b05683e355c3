// Owners for GDI objects and device contexts, and the scoped pairs that painting needs.
#pragma once

#include <windows.h>

#include "platform/unique_handle.h"

namespace quillmere {

template <typename H>
struct GdiObjectTraits {
    using Handle = H;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { DeleteObject(h); }
};

using UniqueBitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using UniqueFont = UniqueHandle<GdiObjectTraits<HFONT>>;
using UniqueBrush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using UniqueMemoryDC = UniqueHandle<NullHandleTraits<HDC, DeleteDC>>;

// Selects an object into a DC and puts the previous one back on the way out.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(SelectObject(dc, object)) {}
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;
    ~ScopedSelect() {
        if (m_previous != nullptr && m_previous != HGDI_ERROR) {
            SelectObject(m_dc, m_previous);
        }
    }

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

// BeginPaint/EndPaint.
class PaintDC {
public:
    explicit PaintDC(HWND window) : m_window(window) { m_dc = BeginPaint(window, &m_paint); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    ~PaintDC() { EndPaint(m_window, &m_paint); }

    HDC get() const { return m_dc; }

private:
    HWND m_window;
    PAINTSTRUCT m_paint{};
    HDC m_dc = nullptr;
};

// GetDC/ReleaseDC.
class WindowDC {
public:
    explicit WindowDC(HWND window) : m_window(window), m_dc(GetDC(window)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (m_dc != nullptr) {
            ReleaseDC(m_window, m_dc);
        }
    }

    HDC get() const { return m_dc; }

private:
    HWND m_window;
    HDC m_dc;
};

// Fills a rectangle with one solid colour (0x00BBGGRR).
void FillSolidRect(HDC dc, const RECT& rect, COLORREF color);

}  // namespace quillmere
