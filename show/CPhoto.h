// The photo currently shown: decoded once, turned upright and scaled to the size the cycle gives
// it, kept as a bitmap that the paint copies without stretching.
#pragma once

#include <windows.h>

#include <string>

#include "platform/gdi.h"
#include "show/photo_pipeline.h"

namespace quillmere {

class CPhoto {
public:
    // Replaces the contents with the photo at `path`, prepared for a window of `window` pixels
    // and the given shares. False, and empty, when the file cannot be shown: unreadable, of an
    // unknown kind, too large to decode safely, or refused by the decoder.
    bool Load(const std::u16string& path, Size32 window, int32_t maxWidthPercent,
              int32_t maxHeightPercent, COLORREF fill);
    void Release();

    bool IsNull() const { return !m_loaded; }
    // The size the cycle fits and places: the photo's size once upright.
    Size32 UprightSize() const { return m_plan.upright; }

    // Draws the photo at `shown`, the cycle's rectangle for it.
    void Draw(HDC dc, const Rect32& shown) const;

private:
    bool LoadOrThrow(const std::u16string& path, Size32 window, int32_t maxWidthPercent,
                     int32_t maxHeightPercent, COLORREF fill);

    bool m_loaded = false;
    PhotoPlan m_plan;
    UniqueBitmap m_bitmap;  // of the plan's region size; none when that is empty
};

}  // namespace quillmere
