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

int32_t CopyRowsFor(int32_t width) {
    constexpr int64_t kMaxRows = 256;
    const int64_t rowBytes = std::max<int64_t>(1, int64_t{width} * 4);
    return static_cast<int32_t>(std::clamp<int64_t>(kCopyBytes / rowBytes, 1, kMaxRows));
}

int32_t BandRowsFor(int32_t width, int32_t copyRows) {
    // Several requests before the resampler sees the band: a result row then seldom straddles
    // two bands, which would each add their rows to its sums in a pass of their own.
    const int64_t requestBytes = std::max<int64_t>(1, int64_t{width} * 4 * copyRows);
    const int64_t requests = std::max<int64_t>(1, kBandBytes / requestBytes);
    return static_cast<int32_t>(std::min<int64_t>(requests * copyRows, kMaxScaledSide));
}

bool RenderPhoto(PhotoFrame& frame, int32_t orientation, const PhotoPlan& plan,
                 const PixelTarget& target, uint32_t fillColor, int32_t copyRows) {
    const Size32 decode = DecodeSizeFor(frame, orientation, plan.scaled);
    if (decode.width <= 0 || decode.height <= 0 || copyRows < 0) {
        return false;
    }
    RowStreamResampler resampler;
    if (!resampler.Begin(decode, orientation, plan.scaled, plan.region, target, fillColor)) {
        return false;
    }
    const int32_t left = resampler.FirstColumn();
    const int32_t width = resampler.EndColumn() - left;
    const int32_t rows = resampler.EndRow() - resampler.FirstRow();
    const ptrdiff_t stride = ptrdiff_t{width} * 4;
    const int32_t copy = std::min(copyRows > 0 ? copyRows : CopyRowsFor(width), rows);
    const int32_t bandRows = std::min(BandRowsFor(width, copy), rows);
    // Left uninitialised: the decoder writes every byte of each band before it is read.
    const std::unique_ptr<uint8_t[]> band(
        new uint8_t[static_cast<size_t>(stride) * static_cast<size_t>(bandRows)]);
    while (resampler.NextRow() < resampler.EndRow()) {
        const int32_t top = resampler.NextRow();
        const int32_t height = std::min(bandRows, resampler.EndRow() - top);
        for (int32_t y = 0; y < height; y += copy) {
            const int32_t count = std::min(copy, height - y);
            if (!frame.CopyRect(decode, {left, top + y, left + width, top + y + count},
                                {band.get() + y * stride, width, count, stride})) {
                return false;
            }
        }
        if (!resampler.Feed({band.get(), width, height, stride}, top)) {
            return false;
        }
    }
    return resampler.Done();
}

}  // namespace quillmere
