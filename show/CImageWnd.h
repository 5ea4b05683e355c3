// The photo window: owns the catalogue, the current photo and the cycle. Its timer drives the
// cycle; its paint draws the photo into the cycle's rectangle on a keyed-out background.
#pragma once

#include "show/CPhoto.h"
#include "show/CSaverWnd.h"
#include "show/image_catalogue.h"
#include "show/image_cycle.h"

namespace quillmere {

class CImageWnd final : public CSaverWnd, private ImageCycleHost {
public:
    CImageWnd();

    // Creates the window (a preview child when `parent` is given) and starts the show in it;
    // the start runs to its end whatever the creation gave. Non-zero when the window exists.
    BOOL Start(HWND parent);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // What the cycle asks of the window.
    void LoadNextPhoto() override;
    std::optional<Size32> PhotoSize() const override;
    Size32 WindowSize() const override;
    void RequestRepaint() override;
    void ApplyOpacity(uint8_t alpha) override;

    void OnPaint();
    COLORREF FillColor() const;

    static constexpr UINT_PTR kCycleTimer = 1000;

    CPhoto m_image;
    ImageCatalogue m_catalogue;
    ImageCycle m_cycle;
};

}  // namespace quillmere
