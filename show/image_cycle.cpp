#include "show/image_cycle.h"

#include "show/show_arithmetic.h"

namespace quillmere {

CycleSettings CycleSettings::From(const SaverSettings& s) {
    CycleSettings c;
    c.BGCountFade = s.BGCountFade;
    c.ImageCountHide = s.ImageCountHide;
    c.ImageCountAppear = s.ImageCountAppear;
    c.ImageCountShow = s.ImageCountShow;
    c.ImageCountDisappear = s.ImageCountDisappear;
    c.ImageMaxAlpha = s.ImageMaxAlpha;
    c.ImageMaxWidth = s.ImageMaxWidth;
    c.ImageMaxHeight = s.ImageMaxHeight;
    return c;
}

Rect32 PlacementFor(Size32 photo, Size32 window, int32_t maxWidthPercent, int32_t maxHeightPercent,
                    int32_t r1, int32_t r2) {
    const int32_t maxW = TruncDiv(WrapMul(window.width, maxWidthPercent), 100);
    const int32_t maxH = TruncDiv(WrapMul(window.height, maxHeightPercent), 100);
    const int32_t s = TruncDiv(WrapMul(photo.height, maxW), photo.width);
    int32_t width = 0;
    int32_t height = 0;
    if (s < maxH) {
        width = maxW;
        height = s;
    } else {
        width = TruncDiv(WrapMul(maxH, photo.width), photo.height);
        height = maxH;
    }
    // A negative share would mirror the photo: it has no size instead, like a share of 0.
    if (width < 0 || height < 0) {
        width = 0;
        height = 0;
    }
    // A share above 100 % leaves no free space rather than a negative one, which the unsigned
    // offset would turn into a place far outside the window.
    const int32_t freeX = WrapSub(window.width, width);
    const int32_t freeY = WrapSub(window.height, height);
    const uint32_t ux = freeX < 0 ? 0u : static_cast<uint32_t>(freeX);
    const uint32_t uy = freeY < 0 ? 0u : static_cast<uint32_t>(freeY);
    const auto dx = static_cast<int32_t>(ux * static_cast<uint32_t>(r1) / 32767u);
    const auto dy = static_cast<int32_t>(uy * static_cast<uint32_t>(r2) / 32767u);
    return {dx, dy, WrapAdd(dx, width), WrapAdd(dy, height)};
}

void ImageCycle::PlacePhoto() {
    const std::optional<Size32> photo = m_host.PhotoSize();
    if (!photo || photo->width <= 0 || photo->height <= 0) {
        m_placement = {};
        return;
    }
    const int32_t r1 = m_random.Next();
    const int32_t r2 = m_random.Next();
    m_placement = PlacementFor(*photo, m_host.WindowSize(), m_settings.ImageMaxWidth,
                               m_settings.ImageMaxHeight, r1, r2);
}

void ImageCycle::Begin() {
    m_host.LoadNextPhoto();
    PlacePhoto();
    m_phase = PhaseWait;
    m_count = 0;
    m_limit = WrapAdd(m_settings.BGCountFade, m_settings.ImageCountHide);
    m_displayed = {};
}

void ImageCycle::BeginPhase(int32_t phase, int32_t limit) {
    m_phase = phase;
    m_limit = limit;
    m_count = 0;
}

void ImageCycle::Tick() {
    m_count = WrapAdd(m_count, 1);
    if (m_count > m_limit) {
        switch (m_phase) {
            case PhaseWait:
            case PhaseHide:
                BeginPhase(PhaseAppear, m_settings.ImageCountAppear);
                m_host.LoadNextPhoto();
                m_host.RequestRepaint();
                break;
            case PhaseAppear:
                BeginPhase(PhaseShow, m_settings.ImageCountShow);
                break;
            case PhaseShow:
                BeginPhase(PhaseDisappear, m_settings.ImageCountDisappear);
                break;
            case PhaseDisappear:
                BeginPhase(PhaseHide, m_settings.ImageCountHide);
                break;
        }
    }
    const int32_t maxAlpha = m_settings.ImageMaxAlpha;
    // A phase length of 0 divides only a count of 0: that single tick gives 0 while appearing
    // and the full opacity while disappearing, as a negative length does.
    switch (m_phase) {
        case PhaseWait:
            PlacePhoto();
            m_alpha = 0;
            break;
        case PhaseAppear:
            PlacePhoto();
            m_alpha = TruncDiv(WrapMul(m_count, maxAlpha), m_limit);
            break;
        case PhaseShow:
            m_alpha = maxAlpha;
            break;
        case PhaseDisappear:
            m_alpha = WrapSub(maxAlpha, TruncDiv(WrapMul(m_count, maxAlpha), m_limit));
            break;
        case PhaseHide:
            m_alpha = 0;
            break;
    }
    m_displayed = m_placement;
    m_host.ApplyOpacity(LowByte(m_alpha));
}

}  // namespace quillmere
