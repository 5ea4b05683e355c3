// The photo resampler: a decoded photo is scaled once into the bitmap of its placed size, read
// through its EXIF orientation so that the result is upright. An axis that shrinks takes the true
// area average of the source pixels under each destination pixel (edge pixels weighted by the
// part they cover); an axis that grows interpolates bilinearly between pixel centres. Pixels are
// 32-bit BGRA with premultiplied alpha, which averages correctly as it is.
#pragma once

#include <cstddef>
#include <cstdint>

#include "show/image_cycle.h"

namespace quillmere {

// Read-only BGRA pixels, 4 bytes each, top-down rows `stride` bytes apart.
struct PixelView {
    const uint8_t* data = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    ptrdiff_t stride = 0;
};

// Writable BGRA pixels, laid out as PixelView.
struct PixelTarget {
    uint8_t* data = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    ptrdiff_t stride = 0;
};

// The largest side a scaled photo may have.
constexpr int32_t kMaxScaledSide = 65535;

// Width and height of `src` once turned upright by `orientation` (sides swap for 5 to 8); {0, 0}
// when the orientation is not one of 1 to 8.
Size32 UprightSize(Size32 src, int32_t orientation);

// Renders `region` (in the coordinates of the whole upright photo scaled to `scaled`) of `src`
// seen through `orientation` into `dst`, whose size must equal the region's. Any region gives
// exactly the pixels the whole render would have there, and the work and memory follow the
// region, not the whole scaled size. Returns false and touches nothing when a size or stride is
// invalid, the orientation is not 1 to 8, a scaled side exceeds kMaxScaledSide or the region is
// empty or not inside the scaled photo.
bool ResampleRegion(const PixelView& src, int32_t orientation, Size32 scaled, Rect32 region,
                    const PixelTarget& dst);

// Renders the whole scaled photo; `dst` must have the scaled size.
bool Resample(const PixelView& src, int32_t orientation, const PixelTarget& dst);

// Draws premultiplied pixels over the opaque colour `fillColorRef` (0x00BBGGRR, red in the low
// byte) in place; every pixel ends opaque. Does nothing for an invalid target.
void CompositeOver(const PixelTarget& target, uint32_t fillColorRef);

}  // namespace quillmere
