#include "show/resample.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <vector>

namespace quillmere {
namespace {

// Filter weights are fixed point and the weights of one destination pixel always sum to exactly
// one, so a flat colour comes back unchanged. The vertical pass yields 16-bit samples with
// kSampleBits fractional bits. Its weights have 8 bits when the factor allows: 8-bit pixels times
// weights summing to 256 then add up within 16 bits, which vector units do twice as wide and
// without widening. Steeper reductions, whose weights would be too coarse in 8 bits, use 15-bit
// weights and 32-bit sums. The horizontal pass weighs samples by 15 bits into 32-bit sums.
constexpr int kSampleBits = 8;
constexpr int kShortWeightBits = kSampleBits;
constexpr int kLongWeightBits = 15;
constexpr int64_t kMaxShortTaps = 18;
constexpr int kLongShift = kLongWeightBits - kSampleBits;
constexpr uint32_t kLongHalf = 1u << (kLongShift - 1);
constexpr int kHorizontalShift = kLongWeightBits + kSampleBits;
constexpr uint64_t kHorizontalHalf = 1u << (kHorizontalShift - 1);

// How an orientation reads the stored pixels: upright (u, v) is stored (a, b) with (a, b) =
// transposed ? (v, u) : (u, v), then a and b counted from the far side where mirrored.
struct Orientation {
    bool transposed;
    bool mirrorA;
    bool mirrorB;
};

constexpr Orientation kOrientations[8] = {
    {false, false, false},  // 1 as stored
    {false, true, false},   // 2 mirrored horizontally
    {false, true, true},    // 3 rotated 180
    {false, false, true},   // 4 mirrored vertically
    {true, false, false},   // 5 transposed
    {true, false, true},    // 6 rotated 90 clockwise
    {true, true, true},     // 7 transversed
    {true, true, false},    // 8 rotated 270 clockwise
};

bool ValidLayout(const void* data, int32_t width, int32_t height, ptrdiff_t stride) {
    if (data == nullptr || width <= 0 || height <= 0) {
        return false;
    }
    const int64_t rowBytes = int64_t{width} * 4;
    if (stride < rowBytes) {
        return false;
    }
    // The last byte must be addressable from data without overflow.
    const int64_t limit = std::numeric_limits<ptrdiff_t>::max() - rowBytes;
    return height == 1 || stride <= limit / (height - 1);
}

// The source pixels behind one destination pixel along one axis: `first` and the fixed-point
// weights of the consecutive pixels from there. Depends only on the lengths and the index, so a
// region sees exactly the weights of the whole render.
void AppendTaps(int64_t srcLen, int64_t dstLen, int64_t index, int weightBits,
                std::vector<uint16_t>& weights, int64_t& first) {
    const int64_t one = int64_t{1} << weightBits;
    if (dstLen < srcLen) {
        // Area average: destination pixel `index` covers [index, index + 1) * srcLen / dstLen
        // source pixels; in units of 1 / dstLen source pixel that is [lo, hi). Each weight is the
        // difference of rounded running coverage, so the weights sum to exactly one.
        const int64_t lo = index * srcLen;
        const int64_t hi = lo + srcLen;
        first = lo / dstLen;
        const int64_t last = (hi - 1) / dstLen;
        int64_t previous = 0;
        for (int64_t i = first; i <= last; ++i) {
            const int64_t covered = std::min((i + 1) * dstLen, hi) - lo;
            const int64_t running = (covered * one + srcLen / 2) / srcLen;
            weights.push_back(static_cast<uint16_t>(running - previous));
            previous = running;
        }
        return;
    }
    // Bilinear between the centres around (index + 0.5) * srcLen / dstLen - 0.5, held at the
    // edge pixels beyond the outer centres. In units of 1 / (2 dstLen) source pixel:
    const int64_t position = (2 * index + 1) * srcLen - dstLen;
    if (position <= 0) {
        first = 0;
        weights.push_back(static_cast<uint16_t>(one));
        return;
    }
    const int64_t unit = 2 * dstLen;
    first = position / unit;
    if (first >= srcLen - 1) {
        first = srcLen - 1;
        weights.push_back(static_cast<uint16_t>(one));
        return;
    }
    const int64_t next = ((position % unit) * one + dstLen) / unit;
    if (next == 0) {
        weights.push_back(static_cast<uint16_t>(one));
    } else if (next == one) {
        ++first;
        weights.push_back(static_cast<uint16_t>(one));
    } else {
        weights.push_back(static_cast<uint16_t>(one - next));
        weights.push_back(static_cast<uint16_t>(next));
    }
}

// The most taps AppendTaps can give one destination pixel.
int64_t MaxTaps(int64_t srcLen, int64_t dstLen) {
    return dstLen < srcLen ? srcLen / dstLen + 2 : 2;
}

using resample_internal::ColumnTap;

// Vertical pass: the weighted sum of the source rows over the strip. A block of samples is summed
// over all rows in locals, which the compiler keeps in vector registers; copying in and out spares
// it any aliasing doubt. Short weights sum exactly within 16 bits. The blends stay out of line:
// inlined into their large caller, GCC 12 at -O3 unrolls the block before it can vectorise it,
// which makes the whole reduction three times slower.
//
// A result row whose source rows arrive in several bands is summed band by band: kResume adds to
// the sums the earlier bands left (in `out` for short weights, in `pending` for long ones), and
// long sums are only rounded down once kFinish says its last rows are in. Integer sums do not
// depend on the order of their terms, so this gives exactly the sums of one pass.
template <bool kResume>
[[gnu::noinline]] void BlendRowsShort(const uint8_t* const* rows, const uint16_t* weights,
                                      int64_t count, size_t n, uint16_t* out) {
    constexpr size_t kBlock = 16;
    size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        uint16_t sum[kBlock] = {};
        if constexpr (kResume) {
            std::memcpy(sum, out + i, sizeof sum);
        }
        for (int64_t k = 0; k < count; ++k) {
            uint8_t row[kBlock];
            std::memcpy(row, rows[k] + i, kBlock);
            const uint16_t w = weights[k];
            for (size_t j = 0; j < kBlock; ++j) {
                sum[j] = static_cast<uint16_t>(sum[j] + row[j] * w);
            }
        }
        std::memcpy(out + i, sum, sizeof sum);
    }
    for (; i < n; ++i) {
        uint32_t sum = kResume ? out[i] : 0;
        for (int64_t k = 0; k < count; ++k) {
            sum += uint32_t{rows[k][i]} * weights[k];
        }
        out[i] = static_cast<uint16_t>(sum);
    }
}

// The same with long weights, rounded down to kSampleBits fractional bits into `out` once
// finished; before that the 32-bit sums wait in `pending`.
template <bool kResume, bool kFinish>
[[gnu::noinline]] void BlendRowsLong(const uint8_t* const* rows, const uint16_t* weights,
                                     int64_t count, size_t n, uint32_t* pending, uint16_t* out) {
    constexpr size_t kBlock = 16;
    size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        uint32_t sum[kBlock];
        if constexpr (kResume) {
            std::memcpy(sum, pending + i, sizeof sum);
        } else {
            for (size_t j = 0; j < kBlock; ++j) {
                sum[j] = kLongHalf;
            }
        }
        for (int64_t k = 0; k < count; ++k) {
            uint8_t row[kBlock];
            std::memcpy(row, rows[k] + i, kBlock);
            const uint16_t w = weights[k];
            for (size_t j = 0; j < kBlock; ++j) {
                // 16 by 16 bits into 32: the widening multiply vector units have.
                sum[j] += uint32_t{uint16_t{row[j]}} * uint32_t{w};
            }
        }
        if constexpr (kFinish) {
            uint16_t blended[kBlock];
            for (size_t j = 0; j < kBlock; ++j) {
                blended[j] = static_cast<uint16_t>(sum[j] >> kLongShift);
            }
            std::memcpy(out + i, blended, sizeof blended);
        } else {
            std::memcpy(pending + i, sum, sizeof sum);
        }
    }
    for (; i < n; ++i) {
        uint32_t sum = kResume ? pending[i] : kLongHalf;
        for (int64_t k = 0; k < count; ++k) {
            sum += uint32_t{rows[k][i]} * weights[k];
        }
        if constexpr (kFinish) {
            out[i] = static_cast<uint16_t>(sum >> kLongShift);
        } else {
            pending[i] = sum;
        }
    }
}

uint8_t Div255(uint32_t v) {
    // round(v / 255) for v up to 255 * 255, without a division.
    const uint32_t t = v + 128;
    return static_cast<uint8_t>((t + (t >> 8)) >> 8);
}

// Draws one premultiplied pixel over the opaque `fill` (B, G, R); it ends opaque. An opaque pixel,
// as every pixel of a JPEG is, stays as it is.
inline void Over(uint8_t* p, const uint32_t* fill) {
    if (p[3] == 255) {
        return;
    }
    const uint32_t rest = 255u - p[3];
    for (int c = 0; c < 3; ++c) {
        // Out-of-range premultiplied input must not wrap.
        p[c] = static_cast<uint8_t>(std::min<uint32_t>(255, p[c] + Div255(fill[c] * rest)));
    }
    p[3] = 255;
}

// The fill's channels in pixel order (B, G, R) from a 0x00BBGGRR colour.
void FillChannels(uint32_t fillColorRef, uint32_t* fill) {
    fill[0] = (fillColorRef >> 16) & 0xFF;
    fill[1] = (fillColorRef >> 8) & 0xFF;
    fill[2] = fillColorRef & 0xFF;
}

// Horizontal pass for one row of the region. The four 16-bit samples of a pixel are read as one
// 64-bit word and split into two pairs of 32-bit lanes (B and R, G and A): a sample of at most
// 255 << kSampleBits times weights summing to 1 << kLongWeightBits stays below 2^31, so a lane
// never carries into the next. With kOver each pixel is drawn over the opaque `fill` on the way
// out, exactly as CompositeOver would do it afterwards, sparing a second pass over the result.
static_assert(std::endian::native == std::endian::little, "samples are read as 64-bit words");
template <bool kOver>
void BlendColumns(const uint16_t* strip, const uint16_t* weights, const ColumnTap* taps,
                  size_t count, const uint32_t* fill, uint8_t* dst, ptrdiff_t at, ptrdiff_t step) {
    constexpr uint64_t kLanes = 0x0000FFFF0000FFFFull;
    constexpr uint64_t kHalves = kHorizontalHalf | kHorizontalHalf << 32;
    for (size_t t = 0; t < count; ++t) {
        const ColumnTap& tap = taps[t];
        const uint16_t* s = strip + tap.sample;
        const uint16_t* w = weights + tap.weight;
        uint64_t even = kHalves;
        uint64_t odd = kHalves;
        for (int32_t k = 0; k < tap.count; ++k, s += 4) {
            const uint64_t wk = w[k];
            uint64_t pixel;
            std::memcpy(&pixel, s, sizeof pixel);
            even += (pixel & kLanes) * wk;
            odd += ((pixel >> 16) & kLanes) * wk;
        }
        uint8_t* p = dst + at;
        p[0] = static_cast<uint8_t>(even >> kHorizontalShift);
        p[1] = static_cast<uint8_t>(odd >> kHorizontalShift);
        p[2] = static_cast<uint8_t>(even >> (32 + kHorizontalShift));
        p[3] = static_cast<uint8_t>(odd >> (32 + kHorizontalShift));
        if constexpr (kOver) {
            Over(p, fill);
        }
        at += step;
    }
}

}  // namespace

Size32 UprightSize(Size32 src, int32_t orientation) {
    if (orientation < 1 || orientation > 8) {
        return {};
    }
    return kOrientations[orientation - 1].transposed ? Size32{src.height, src.width} : src;
}

bool RowStreamResampler::Begin(Size32 stored, int32_t orientation, Size32 scaled, Rect32 region,
                               const PixelTarget& dst, std::optional<uint32_t> fillColorRef) {
    m_begun = false;
    if (stored.width <= 0 || stored.height <= 0 ||
        !ValidLayout(dst.data, dst.width, dst.height, dst.stride)) {
        return false;
    }
    if (orientation < 1 || orientation > 8) {
        return false;
    }
    if (scaled.width <= 0 || scaled.height <= 0 || scaled.width > kMaxScaledSide ||
        scaled.height > kMaxScaledSide) {
        return false;
    }
    if (region.left < 0 || region.top < 0 || region.left >= region.right ||
        region.top >= region.bottom || region.right > scaled.width ||
        region.bottom > scaled.height) {
        return false;
    }
    if (dst.width != region.right - region.left || dst.height != region.bottom - region.top) {
        return false;
    }

    // The work runs in the stored layout, so the source is always read along its rows; the
    // orientation only decides where each result lands in dst.
    const Orientation o = kOrientations[orientation - 1];
    const int64_t scaledA = o.transposed ? scaled.height : scaled.width;
    const int64_t scaledB = o.transposed ? scaled.width : scaled.height;
    int64_t a0 = o.transposed ? region.top : region.left;
    int64_t a1 = o.transposed ? region.bottom : region.right;
    int64_t b0 = o.transposed ? region.left : region.top;
    int64_t b1 = o.transposed ? region.right : region.bottom;
    if (o.mirrorA) {
        const int64_t end = scaledA - a0;
        a0 = scaledA - a1;
        a1 = end;
    }
    if (o.mirrorB) {
        const int64_t end = scaledB - b0;
        b0 = scaledB - b1;
        b1 = end;
    }

    const int64_t firstA = o.mirrorA ? scaledA - 1 - a0 : a0;
    const int64_t firstB = o.mirrorB ? scaledB - 1 - b0 : b0;
    const int64_t firstU = (o.transposed ? firstB : firstA) - region.left;
    const int64_t firstV = (o.transposed ? firstA : firstB) - region.top;
    const ptrdiff_t signA = o.mirrorA ? -1 : 1;
    const ptrdiff_t signB = o.mirrorB ? -1 : 1;

    const int64_t outA = a1 - a0;
    int64_t stripFirst = 0;
    int64_t stripLast = 0;
    try {
        m_taps.clear();
        m_weightsA.clear();
        m_taps.resize(static_cast<size_t>(outA));
        for (int64_t i = 0; i < outA; ++i) {
            const size_t at = m_weightsA.size();
            int64_t first = 0;
            AppendTaps(stored.width, scaledA, a0 + i, kLongWeightBits, m_weightsA, first);
            if (i == 0) {
                stripFirst = first;
            }
            const int64_t count = static_cast<int64_t>(m_weightsA.size() - at);
            stripLast = std::max(stripLast, first + count - 1);
            m_taps[i] = {static_cast<size_t>((first - stripFirst) * 4), at,
                         static_cast<int32_t>(count)};
        }
        const int64_t stripPixels = stripLast - stripFirst + 1;
        m_strip.resize(static_cast<size_t>(stripPixels * 4));
        const int64_t maxB = MaxTaps(stored.height, scaledB);
        m_verticalBits = maxB <= kMaxShortTaps ? kShortWeightBits : kLongWeightBits;
        m_weightsB.clear();
        m_weightsB.reserve(static_cast<size_t>(maxB));
        m_rows.resize(static_cast<size_t>(maxB));
        m_downscale = scaledB < stored.height;
        // Left uninitialised: a band ending inside a result row's taps is the first to write.
        m_pendingSums.reset(m_downscale && m_verticalBits == kLongWeightBits
                                ? new uint32_t[m_strip.size()]
                                : nullptr);
        m_carry.reset(m_downscale ? nullptr : new uint8_t[m_strip.size()]);
    } catch (const std::bad_alloc&) {
        return false;
    }

    m_dst = dst;
    m_over = fillColorRef.has_value();
    FillChannels(fillColorRef.value_or(0), m_fill);
    m_pendingTaps = 0;
    m_storedHeight = stored.height;
    m_scaledB = scaledB;
    m_origin = static_cast<ptrdiff_t>(firstU * 4 + firstV * dst.stride);
    m_stepA = signA * (o.transposed ? dst.stride : 4);
    m_stepB = signB * (o.transposed ? 4 : dst.stride);
    m_firstColumn = static_cast<int32_t>(stripFirst);
    m_endColumn = static_cast<int32_t>(stripLast + 1);
    m_b0 = b0;
    m_endB = b1;
    // The last result row's taps end the rows read; the first one's start them.
    m_nextB = b1 - 1;
    PrepareRow();
    m_endRow = static_cast<int32_t>(m_rowFirst + static_cast<int64_t>(m_weightsB.size()));
    m_nextB = b0;
    PrepareRow();
    m_firstRow = static_cast<int32_t>(m_rowFirst);
    m_nextRow = m_firstRow;
    m_begun = true;
    return true;
}

void RowStreamResampler::PrepareRow() {
    // Within the capacity reserved for the most taps: never allocates.
    m_weightsB.clear();
    AppendTaps(m_storedHeight, m_scaledB, m_nextB, m_verticalBits, m_weightsB, m_rowFirst);
}

bool RowStreamResampler::Feed(const PixelView& band, int32_t firstRow) {
    if (!m_begun || firstRow != m_nextRow || m_nextRow >= m_endRow ||
        !ValidLayout(band.data, band.width, band.height, band.stride) ||
        band.width != m_endColumn - m_firstColumn) {
        return false;
    }
    const int64_t bandEnd = std::min<int64_t>(int64_t{firstRow} + band.height, m_endRow);
    const size_t stripSamples = m_strip.size();
    while (m_nextB < m_endB) {
        const int64_t count = static_cast<int64_t>(m_weightsB.size());
        const bool complete = m_rowFirst + count <= bandEnd;
        // A reduction sums the taps this band holds now; an enlargement, whose result rows share
        // their two source rows with many others, waits for the next band with the row it keeps.
        if (!complete && !m_downscale) {
            break;
        }
        const int64_t from = m_pendingTaps;
        const int64_t to = complete ? count : bandEnd - m_rowFirst;
        if (to <= from) {
            break;
        }
        for (int64_t k = from; k < to; ++k) {
            const int64_t row = m_rowFirst + k;
            // Before this band only the enlargement's kept row can be read.
            m_rows[k - from] =
                row < firstRow ? m_carry.get() : band.data + (row - firstRow) * band.stride;
        }
        const uint16_t* weights = m_weightsB.data() + from;
        const bool resume = from > 0;
        if (m_verticalBits == kShortWeightBits) {
            (resume ? BlendRowsShort<true> : BlendRowsShort<false>)(m_rows.data(), weights,
                                                                    to - from, stripSamples,
                                                                    m_strip.data());
        } else if (complete) {
            (resume ? BlendRowsLong<true, true>
                    : BlendRowsLong<false, true>)(m_rows.data(), weights, to - from, stripSamples,
                                                  m_pendingSums.get(), m_strip.data());
        } else {
            (resume ? BlendRowsLong<true, false>
                    : BlendRowsLong<false, false>)(m_rows.data(), weights, to - from, stripSamples,
                                                   m_pendingSums.get(), m_strip.data());
        }
        if (!complete) {
            m_pendingTaps = to;
            break;
        }
        m_pendingTaps = 0;
        const ptrdiff_t at = m_origin + static_cast<ptrdiff_t>(m_nextB - m_b0) * m_stepB;
        (m_over ? BlendColumns<true> : BlendColumns<false>)(m_strip.data(), m_weightsA.data(),
                                                            m_taps.data(), m_taps.size(), m_fill,
                                                            m_dst.data, at, m_stepA);
        ++m_nextB;
        if (m_nextB < m_endB) {
            PrepareRow();
        }
    }
    if (!m_downscale && m_nextB < m_endB && m_rowFirst < bandEnd) {
        // The next result row reads the band's last row and the next band's first.
        std::memcpy(m_carry.get(), band.data + (bandEnd - 1 - firstRow) * band.stride,
                    stripSamples);
    }
    m_nextRow = static_cast<int32_t>(bandEnd);
    return true;
}

size_t RowStreamResampler::AllocatedBytes() const {
    return m_taps.capacity() * sizeof(ColumnTap) + m_weightsA.capacity() * sizeof(uint16_t) +
           m_weightsB.capacity() * sizeof(uint16_t) + m_rows.capacity() * sizeof(const uint8_t*) +
           m_strip.capacity() * sizeof(uint16_t) +
           (m_pendingSums ? m_strip.size() * sizeof(uint32_t) : 0) + (m_carry ? m_strip.size() : 0);
}

bool ResampleRegion(const PixelView& src, int32_t orientation, Size32 scaled, Rect32 region,
                    const PixelTarget& dst) {
    if (!ValidLayout(src.data, src.width, src.height, src.stride)) {
        return false;
    }
    RowStreamResampler resampler;
    if (!resampler.Begin({src.width, src.height}, orientation, scaled, region, dst)) {
        return false;
    }
    // One band of every row the render reads, starting at the strip of columns it reads.
    const PixelView rows{src.data + resampler.FirstRow() * src.stride + resampler.FirstColumn() * 4,
                         resampler.EndColumn() - resampler.FirstColumn(),
                         resampler.EndRow() - resampler.FirstRow(), src.stride};
    return resampler.Feed(rows, resampler.FirstRow()) && resampler.Done();
}

bool Resample(const PixelView& src, int32_t orientation, const PixelTarget& dst) {
    return ResampleRegion(src, orientation, {dst.width, dst.height}, {0, 0, dst.width, dst.height},
                          dst);
}

void CompositeOver(const PixelTarget& target, uint32_t fillColorRef) {
    if (!ValidLayout(target.data, target.width, target.height, target.stride)) {
        return;
    }
    uint32_t fill[3];
    FillChannels(fillColorRef, fill);
    for (int32_t y = 0; y < target.height; ++y) {
        uint8_t* p = target.data + y * target.stride;
        for (int32_t x = 0; x < target.width; ++x, p += 4) {
            Over(p, fill);
        }
    }
}

}  // namespace quillmere
