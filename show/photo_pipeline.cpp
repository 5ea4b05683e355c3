#include "show/photo_pipeline.h"

#include <algorithm>
#include <memory>

namespace quillmere {

namespace {

bool SwapsSides(int32_t orientation) {
    return orientation >= 5 && orientation <= 8;
}

}  // namespace

PhotoPlan PlanPhoto(Size32 stored, int32_t orientation, Size32 window, int32_t maxWidthPercent,
                    int32_t maxHeightPercent) {
    PhotoPlan plan;
    plan.upright = SwapsSides(orientation) ? Size32{stored.height, stored.width} : stored;
    const Rect32 fitted =
        PlacementFor(plan.upright, window, maxWidthPercent, maxHeightPercent, 0, 0);
    plan.scaled = {fitted.right - fitted.left, fitted.bottom - fitted.top};
    plan.region = {0, 0, std::clamp(std::min(plan.scaled.width, window.width), 0, kMaxScaledSide),
                   std::clamp(std::min(plan.scaled.height, window.height), 0, kMaxScaledSide)};
    return plan;
}

Size32 DecodeSizeFor(PhotoFrame& frame, int32_t orientation, Size32 scaled) {
    const Size32 stored = frame.StoredSize();
    const Size32 wanted = SwapsSides(orientation) ? Size32{scaled.height, scaled.width} : scaled;
    if (wanted.width <= 0 || wanted.height <= 0 || wanted.width >= stored.width ||
        wanted.height >= stored.height) {
        return stored;
    }
    const std::optional<Size32> native = frame.NativeSizeFor(wanted);
    // Smaller than the shown size would lose detail; larger than stored is no saving.
    if (!native || native->width < wanted.width || native->height < wanted.height ||
        native->width > stored.width || native->height > stored.height) {
        return stored;
    }
    return *native;
}

bool RenderPhoto(PhotoFrame& frame, int32_t orientation, const PhotoPlan& plan,
                 const PixelTarget& target, uint32_t fillColor) {
    const Size32 decode = DecodeSizeFor(frame, orientation, plan.scaled);
    if (decode.width <= 0 || decode.height <= 0) {
        return false;
    }
    const ptrdiff_t stride = ptrdiff_t{decode.width} * 4;
    // Left uninitialised: the decoder writes every byte, and clearing 100 MB costs a frame.
    const std::unique_ptr<uint8_t[]> pixels(
        new uint8_t[static_cast<size_t>(stride) * static_cast<size_t>(decode.height)]);
    if (!frame.CopyPixels(decode, {pixels.get(), decode.width, decode.height, stride})) {
        return false;
    }
    const PixelView source{pixels.get(), decode.width, decode.height, stride};
    if (!ResampleRegion(source, orientation, plan.scaled, plan.region, target)) {
        return false;
    }
    CompositeOver(target, fillColor);
    return true;
}

}  // namespace quillmere
