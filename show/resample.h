// The photo resampler: a decoded photo is scaled once into the bitmap of its placed size, read
// through its EXIF orientation so that the result is upright. An axis that shrinks takes the true
// area average of the source pixels under each destination pixel (edge pixels weighted by the
// part they cover); an axis that grows interpolates bilinearly between pixel centres. Pixels are
// 32-bit BGRA with premultiplied alpha, which averages correctly as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

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

namespace resample_internal {
// One result pixel's horizontal taps: where its samples start in the strip (in samples, 4 a
// pixel), where its weights start, and how many pixels it reads.
struct ColumnTap {
    size_t sample;
    size_t weight;
    int32_t count;
};
}  // namespace resample_internal

// Renders a region of a photo from its stored rows as they arrive, band after band from top to
// bottom, so that the whole stored photo never needs to be in memory at once. It keeps the
// region's filter tables and one row of intermediate sums across the stored columns it reads (or
// one stored row when enlarging), whatever the bands' height; AllocatedBytes() tells how much.
class RowStreamResampler {
public:
    RowStreamResampler() = default;
    RowStreamResampler(const RowStreamResampler&) = delete;
    RowStreamResampler& operator=(const RowStreamResampler&) = delete;

    // Starts rendering `region` (in the coordinates of the whole upright photo scaled to
    // `scaled`) of a photo stored at `stored` and seen through `orientation` into `dst`, whose
    // size must equal the region's and which must stay valid until the last band. With
    // `fillColorRef` each pixel is drawn over that opaque colour as it is written, exactly as
    // CompositeOver would do it afterwards. False, with nothing to feed, on the inputs
    // ResampleRegion refuses.
    bool Begin(Size32 stored, int32_t orientation, Size32 scaled, Rect32 region,
               const PixelTarget& dst, std::optional<uint32_t> fillColorRef = std::nullopt);

    // The stored rows and columns the render reads: bands must cover rows [FirstRow, EndRow) and
    // hold exactly the columns [FirstColumn, EndColumn).
    int32_t FirstRow() const { return m_firstRow; }
    int32_t EndRow() const { return m_endRow; }
    int32_t FirstColumn() const { return m_firstColumn; }
    int32_t EndColumn() const { return m_endColumn; }
    // The row the next band must start at; EndRow() once every row has been fed.
    int32_t NextRow() const { return m_nextRow; }

    // Takes stored rows [firstRow, firstRow + band.height), columns [FirstColumn, EndColumn),
    // and writes every result row they complete. Rows past EndRow are ignored. False, and
    // nothing changes, when the band does not start at NextRow() or its layout is invalid.
    bool Feed(const PixelView& band, int32_t firstRow);

    // Whether every row of `dst` has been written.
    bool Done() const { return m_begun && m_nextB == m_endB; }

    // The working memory held, in bytes. It follows the region and the stored columns it reads,
    // never the number of stored rows.
    size_t AllocatedBytes() const;

private:
    void PrepareRow();

    bool m_begun = false;
    PixelTarget m_dst;
    int64_t m_storedHeight = 0;
    int64_t m_scaledB = 0;
    int32_t m_firstRow = 0;
    int32_t m_endRow = 0;
    int32_t m_firstColumn = 0;
    int32_t m_endColumn = 0;
    int32_t m_nextRow = 0;
    int64_t m_b0 = 0;
    int64_t m_nextB = 0;
    int64_t m_endB = 0;
    // Where result (a0, b0) lands in dst, and the steps in dst for one along a and b.
    ptrdiff_t m_origin = 0;
    ptrdiff_t m_stepA = 0;
    ptrdiff_t m_stepB = 0;
    int m_verticalBits = 0;
    std::vector<resample_internal::ColumnTap> m_taps;
    std::vector<uint16_t> m_weightsA;
    // The vertical taps of result row m_nextB.
    std::vector<uint16_t> m_weightsB;
    int64_t m_rowFirst = 0;
    std::vector<const uint8_t*> m_rows;
    // The vertical sums of the result row being made, 4 samples a pixel of the strip.
    std::vector<uint16_t> m_strip;
    bool m_downscale = false;
    // How many of m_nextB's taps earlier bands have summed: into m_strip for short weights, into
    // m_pendingSums (held only for long ones) before their rounding.
    int64_t m_pendingTaps = 0;
    std::unique_ptr<uint32_t[]> m_pendingSums;
    // An enlargement's last row of the band before, which the next band's first result row
    // blends with its own first row; a reduction needs none.
    std::unique_ptr<uint8_t[]> m_carry;
    bool m_over = false;
    uint32_t m_fill[3] = {};
};

// Renders `region` (in the coordinates of the whole upright photo scaled to `scaled`) of `src`
// seen through `orientation` into `dst`, whose size must equal the region's. Any region gives
// exactly the pixels the whole render would have there, and the work and memory follow the
// region, not the whole scaled size. Returns false and touches nothing when a size or stride is
// invalid, the orientation is not 1 to 8, a scaled side exceeds kMaxScaledSide or the region is
// empty or not inside the scaled photo. The same as feeding RowStreamResampler one band.
bool ResampleRegion(const PixelView& src, int32_t orientation, Size32 scaled, Rect32 region,
                    const PixelTarget& dst);

// Renders the whole scaled photo; `dst` must have the scaled size.
bool Resample(const PixelView& src, int32_t orientation, const PixelTarget& dst);

// Draws premultiplied pixels over the opaque colour `fillColorRef` (0x00BBGGRR, red in the low
// byte) in place; every pixel ends opaque. Does nothing for an invalid target.
void CompositeOver(const PixelTarget& target, uint32_t fillColorRef);

}  // namespace quillmere
