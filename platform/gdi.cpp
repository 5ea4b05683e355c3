#include "platform/gdi.h"

namespace quillmere {

void FillSolidRect(HDC dc, const RECT& rect, COLORREF color) {
    // ExtTextOut with an opaque background fills without creating a brush.
    const COLORREF previous = SetBkColor(dc, color);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
    SetBkColor(dc, previous);
}

}  // namespace quillmere
