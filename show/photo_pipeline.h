// The road of one photo between its decoder and the screen: plan the size it will be shown at,
// decode it no larger than that needs (where the decoder can scale while decoding), turn it
// upright and scale it once into the bitmap the paint copies.
#pragma once

#include <cstdint>
#include <optional>

#include "show/image_cycle.h"
#include "show/resample.h"

namespace quillmere {

// One frame of a photo as the platform's decoder offers it.
class PhotoFrame {
public:
    virtual ~PhotoFrame() = default;
    // The stored size, before any orientation is applied.
    virtual Size32 StoredSize() const = 0;
    // The size nearest to `wanted` that the decoder produces directly, or nothing when it only
    // decodes at the stored size.
    virtual std::optional<Size32> NativeSizeFor(Size32 wanted) = 0;
    // Decodes `rect` of the photo decoded at `size` (the stored size or one NativeSizeFor gave)
    // as premultiplied BGRA into `target`, which has the rectangle's size. RenderPhoto asks for
    // consecutive bands of rows from the top down, the order decoders stream in.
    virtual bool CopyRect(Size32 size, Rect32 rect, const PixelTarget& target) = 0;
};

struct PhotoPlan {
    Size32 upright;  // the photo's size once upright: what the cycle fits and places
    Size32 scaled;   // the size the cycle gives it in the window
    Rect32 region;   // the part of the scaled photo that can be on screen: the bitmap's size
};

// Where the cycle will put a photo: its offset is free space times a draw, so the photo lies in
// the window whenever it fits, and at the window's origin when it does not.
PhotoPlan PlanPhoto(Size32 stored, int32_t orientation, Size32 window, int32_t maxWidthPercent,
                    int32_t maxHeightPercent);

// Decodes, orients and scales the plan's region into `target` (of the region's size) over the
// opaque `fillColor`. Only the stored rows and columns the region reads are decoded, from the top
// down, `copyRows` rows a request (0: CopyRowsFor the width), into a band of about kBandBytes
// that the resampler takes at once: the decoded photo is never held whole.
bool RenderPhoto(PhotoFrame& frame, int32_t orientation, const PhotoPlan& plan,
                 const PixelTarget& target, uint32_t fillColor, int32_t copyRows = 0);

// One request to the decoder asks for about this much: its own buffer for the same rows then
// stays small enough to come from its heap, already in memory and in the cache, instead of fresh
// pages (under Wine a 24 MP photo's copies take 23 ms in requests of 96 KB, 290 ms in one into
// memory already touched).
inline constexpr int64_t kCopyBytes = int64_t{96} << 10;

// The rows of a request of about kCopyBytes for rows of `width` pixels; at least one.
int32_t CopyRowsFor(int32_t width);

// The band buffer: whole requests up to about this much, or one request when that is larger.
inline constexpr int64_t kBandBytes = int64_t{256} << 10;

// The rows of the band for rows of `width` pixels requested `copyRows` at a time.
int32_t BandRowsFor(int32_t width, int32_t copyRows);

// The decode size for a photo shown at `scaled`: the decoder's own scaling when it offers a size
// that still covers the shown size in both directions, the stored size otherwise.
Size32 DecodeSizeFor(PhotoFrame& frame, int32_t orientation, Size32 scaled);

}  // namespace quillmere
