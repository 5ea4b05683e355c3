#include "show/CImageWnd.h"

#include <ctime>

#include "app/CLumerollApp.h"
#include "platform/gdi.h"
#include "platform/win32_file_finder.h"
#include "show/show_arithmetic.h"

namespace quillmere {

CImageWnd::CImageWnd()
    : m_catalogue(RandomSource::Process()),
      m_cycle(CycleSettings::From(TheApp().m_settings), *this, RandomSource::Process()) {}

BOOL CImageWnd::Start(HWND parent) {
    const SaverSettings& s = TheApp().m_settings;
    const BOOL created = CreateSaverWindow(parent);
    m_catalogue.Clear();
    Win32FileFinder finder;
    m_catalogue.ScanFolder(finder, s.ImageFolderPath, s.IncludeSubFolder);
    m_cycle.Begin();
    SetTimer(m_hWnd, kCycleTimer, static_cast<UINT>(s.TimerInterval), nullptr);
    // Nothing shows until the first paint and tick set the real key.
    SetLayeredWindowAttributes(m_hWnd, 0, 0, LWA_COLORKEY | LWA_ALPHA);
    // The first choice and placement above came from the unseeded generator; neither is shown.
    RandomSource::Process().Seed(static_cast<uint32_t>(std::time(nullptr)));
    return created;
}

LRESULT CImageWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kCycleTimer) {
                m_cycle.Tick();
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

COLORREF CImageWnd::FillColor() const {
    const SaverSettings& s = TheApp().m_settings;
    return TheApp().m_mode == SaverMode::Show ? s.FGColorKey : s.BGColor;
}

void CImageWnd::LoadNextPhoto() {
    const SaverSettings& s = TheApp().m_settings;
    const std::optional<std::u16string> path = m_catalogue.ChooseNext(s.ImageShowRandom);
    if (!path || path->empty()) {
        return;
    }
    m_image.Release();
    // Decoded, turned upright and scaled once to the size the cycle will place it at.
    m_image.Load(*path, WindowSize(), s.ImageMaxWidth, s.ImageMaxHeight, FillColor());
}

std::optional<Size32> CImageWnd::PhotoSize() const {
    if (m_image.IsNull()) {
        return std::nullopt;
    }
    return m_image.UprightSize();
}

Size32 CImageWnd::WindowSize() const {
    RECT rect{};
    GetWindowRect(m_hWnd, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

void CImageWnd::RequestRepaint() {
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CImageWnd::ApplyOpacity(uint8_t alpha) {
    SetLayeredWindowAttributes(m_hWnd, TheApp().m_settings.FGColorKey, alpha,
                               LWA_COLORKEY | LWA_ALPHA);
}

void CImageWnd::OnPaint() {
    PaintDC paint(m_hWnd);
    const Size32 size = WindowSize();
    const RECT whole{0, 0, size.width, size.height};
    UniqueMemoryDC memory(CreateCompatibleDC(paint.get()));
    UniqueBitmap buffer(CreateCompatibleBitmap(paint.get(), size.width, size.height));
    if (!memory || !buffer) {
        return;
    }
    {
        ScopedSelect select(memory.get(), buffer.get());
        SetStretchBltMode(memory.get(), HALFTONE);
        FillSolidRect(memory.get(), whole, FillColor());
        const Rect32& shown = m_cycle.m_displayed;
        if (!shown.IsNull()) {
            m_image.Draw(memory.get(), shown);
        }
        SetLayeredWindowAttributes(m_hWnd, TheApp().m_settings.FGColorKey,
                                   LowByte(m_cycle.m_alpha), LWA_COLORKEY | LWA_ALPHA);
        BitBlt(paint.get(), 0, 0, size.width, size.height, memory.get(), 0, 0, SRCCOPY);
    }
}

}  // namespace quillmere
