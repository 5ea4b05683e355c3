#include "show/CPhoto.h"

#include <new>

#include "platform/wic_decoder.h"
#include "platform/wide_text.h"

namespace quillmere {

bool CPhoto::Load(const std::u16string& path, Size32 window, int32_t maxWidthPercent,
                  int32_t maxHeightPercent, COLORREF fill) {
    Release();
    // A photo too large for the memory left is one that cannot be shown: its cycle stays blank,
    // and no message interrupts the show.
    try {
        return LoadOrThrow(path, window, maxWidthPercent, maxHeightPercent, fill);
    } catch (const std::bad_alloc&) {
        Release();
        return false;
    }
}

bool CPhoto::LoadOrThrow(const std::u16string& path, Size32 window, int32_t maxWidthPercent,
                         int32_t maxHeightPercent, COLORREF fill) {
    WicDecoder decoder;
    if (!decoder.Open(ToWide(path))) {
        return false;
    }
    const PhotoPlan plan = PlanPhoto(decoder.StoredSize(), decoder.Orientation(), window,
                                     maxWidthPercent, maxHeightPercent);
    const Size32 region{plan.region.right - plan.region.left, plan.region.bottom - plan.region.top};
    UniqueBitmap bitmap;
    if (region.width > 0 && region.height > 0) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = region.width;
        info.bmiHeader.biHeight = -region.height;  // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!bitmap || bits == nullptr) {
            return false;
        }
        const PixelTarget target{static_cast<uint8_t*>(bits), region.width, region.height,
                                 ptrdiff_t{region.width} * 4};
        if (!RenderPhoto(decoder, decoder.Orientation(), plan, target, fill)) {
            return false;
        }
        GdiFlush();
    }
    m_plan = plan;
    m_bitmap = std::move(bitmap);
    m_loaded = true;
    return true;
}

void CPhoto::Release() {
    m_bitmap.reset();
    m_plan = {};
    m_loaded = false;
}

void CPhoto::Draw(HDC dc, const Rect32& shown) const {
    if (!m_bitmap) {
        return;
    }
    UniqueMemoryDC source(CreateCompatibleDC(dc));
    if (!source) {
        return;
    }
    ScopedSelect select(source.get(), m_bitmap.get());
    const int32_t width = shown.right - shown.left;
    const int32_t height = shown.bottom - shown.top;
    const int32_t regionWidth = m_plan.region.right;
    const int32_t regionHeight = m_plan.region.bottom;
    if (width == m_plan.scaled.width && height == m_plan.scaled.height) {
        // Prepared at exactly this size: a plain copy.
        BitBlt(dc, shown.left, shown.top, regionWidth, regionHeight, source.get(), 0, 0, SRCCOPY);
        return;
    }
    // A rectangle of another size than planned (the window changed size): stretch what we have.
    StretchBlt(dc, shown.left, shown.top, width, height, source.get(), 0, 0, regionWidth,
               regionHeight, SRCCOPY);
}

}  // namespace quillmere
