#include "show/resample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace quillmere {
namespace {

constexpr uint8_t kKey[4] = {0, 0, 254, 255};  // B, G, R, A: the show's colour key

struct Image {
    int32_t width = 0;
    int32_t height = 0;
    ptrdiff_t stride = 0;
    std::vector<uint8_t> pixels;

    Image() = default;
    // `padding` bytes follow every row, filled with 0xCD to catch writes outside the pixels.
    Image(int32_t w, int32_t h, int32_t padding = 0)
        : width(w),
          height(h),
          stride(ptrdiff_t{w} * 4 + padding),
          pixels(static_cast<size_t>(stride * h), 0xCD) {}

    uint8_t* At(int32_t x, int32_t y) { return &pixels[static_cast<size_t>(y * stride + x * 4)]; }
    const uint8_t* At(int32_t x, int32_t y) const {
        return &pixels[static_cast<size_t>(y * stride + x * 4)];
    }
    PixelView View() const { return {pixels.data(), width, height, stride}; }
    PixelTarget Target() { return {pixels.data(), width, height, stride}; }
};

Image Flat(int32_t w, int32_t h, const uint8_t (&bgra)[4]) {
    Image img(w, h);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            std::copy(bgra, bgra + 4, img.At(x, y));
        }
    }
    return img;
}

// Smooth gradients, fine grain, hard-edged shapes and a translucent corner, as a photo has; the
// pixels are valid premultiplied BGRA.
Image PhotoLike(int32_t w, int32_t h, uint32_t seed = 1) {
    Image img(w, h);
    std::mt19937 random(seed);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const double u = double(x) / w;
            const double v = double(y) / h;
            const double c[3] = {
                110 + 90 * std::sin(6.0 * u + 1.3 * v),
                120 + 80 * std::cos(4.0 * v - 2.0 * u),
                128 + 100 * std::sin(3.0 * (u + v)) * std::cos(5.0 * u),
            };
            const double grain = double(random() % 41) - 20;
            const bool block = (x / (w / 7 + 1) + y / (h / 5 + 1)) % 2 == 0 && u > 0.6;
            const bool disc = (u - 0.3) * (u - 0.3) + (v - 0.5) * (v - 0.5) < 0.04;
            uint8_t* p = img.At(x, y);
            for (int k = 0; k < 3; ++k) {
                double value = block ? (k == 1 ? 230 : 20) : c[k] + grain;
                if (disc) {
                    value = 255 - value;
                }
                p[k] = uint8_t(std::clamp(value, 0.0, 255.0) + 0.5);
            }
            p[3] = 255;
            if (u < 0.15 && v < 0.25) {
                const uint32_t a = random() % 256;
                for (int k = 0; k < 3; ++k) {
                    p[k] = uint8_t((p[k] * a + 127) / 255);
                }
                p[3] = uint8_t(a);
            }
        }
    }
    return img;
}

// The stored pixel seen at upright (u, v), straight from the EXIF meanings.
const uint8_t* StoredPixel(const Image& img, int32_t orientation, int32_t u, int32_t v) {
    const int32_t w = img.width;
    const int32_t h = img.height;
    switch (orientation) {
        case 2:
            return img.At(w - 1 - u, v);
        case 3:
            return img.At(w - 1 - u, h - 1 - v);
        case 4:
            return img.At(u, h - 1 - v);
        case 5:
            return img.At(v, u);
        case 6:
            return img.At(v, h - 1 - u);
        case 7:
            return img.At(w - 1 - v, h - 1 - u);
        case 8:
            return img.At(w - 1 - v, u);
        default:
            return img.At(u, v);
    }
}

Image Upright(const Image& img, int32_t orientation) {
    const Size32 size = UprightSize({img.width, img.height}, orientation);
    Image out(size.width, size.height);
    for (int32_t v = 0; v < size.height; ++v) {
        for (int32_t u = 0; u < size.width; ++u) {
            std::copy_n(StoredPixel(img, orientation, u, v), 4, out.At(u, v));
        }
    }
    return out;
}

// The reference filter along one axis, in doubles: the source pixels and weights behind
// destination pixel `i`, by the area under it when the axis shrinks and by linear interpolation
// between pixel centres when it grows.
std::vector<std::pair<int32_t, double>> ReferenceTaps(int32_t srcLen, int32_t dstLen, int32_t i) {
    std::vector<std::pair<int32_t, double>> taps;
    const double scale = double(srcLen) / dstLen;
    if (dstLen < srcLen) {
        const double lo = i * scale;
        const double hi = (i + 1) * scale;
        for (int32_t s = int32_t(std::floor(lo)); s < srcLen && s < hi; ++s) {
            const double part = std::min<double>(s + 1, hi) - std::max<double>(s, lo);
            if (part > 0) {
                taps.push_back({s, part / scale});
            }
        }
    } else {
        const double centre = std::clamp((i + 0.5) * scale - 0.5, 0.0, double(srcLen - 1));
        const int32_t s = std::min(int32_t(centre), srcLen - 1);
        const double f = centre - s;
        taps.push_back({s, 1 - f});
        if (f > 0) {
            taps.push_back({s + 1, f});
        }
    }
    return taps;
}

// The reference render of `region` of `src` scaled to w x h.
Image Reference(const Image& src, int32_t w, int32_t h, Rect32 region) {
    Image out(region.right - region.left, region.bottom - region.top);
    std::vector<std::vector<std::pair<int32_t, double>>> xs;
    for (int32_t x = region.left; x < region.right; ++x) {
        xs.push_back(ReferenceTaps(src.width, w, x));
    }
    for (int32_t y = 0; y < out.height; ++y) {
        const auto ys = ReferenceTaps(src.height, h, region.top + y);
        for (int32_t x = 0; x < out.width; ++x) {
            double sum[4] = {};
            for (const auto& [sy, wy] : ys) {
                for (const auto& [sx, wx] : xs[x]) {
                    for (int k = 0; k < 4; ++k) {
                        sum[k] += wx * wy * src.At(sx, sy)[k];
                    }
                }
            }
            for (int k = 0; k < 4; ++k) {
                out.At(x, y)[k] = uint8_t(std::lround(sum[k]));
            }
        }
    }
    return out;
}

Image Reference(const Image& src, int32_t w, int32_t h) {
    return Reference(src, w, h, {0, 0, w, h});
}

int32_t MaxDifference(const Image& a, const Image& b) {
    int32_t most = 0;
    for (int32_t y = 0; y < a.height; ++y) {
        for (int32_t x = 0; x < a.width * 4; ++x) {
            most = std::max(most, std::abs(a.At(0, y)[x] - b.At(0, y)[x]));
        }
    }
    return most;
}

double Psnr(const Image& a, const Image& b) {
    double squared = 0;
    for (int32_t y = 0; y < a.height; ++y) {
        for (int32_t x = 0; x < a.width * 4; ++x) {
            const double d = double(a.At(0, y)[x]) - b.At(0, y)[x];
            squared += d * d;
        }
    }
    const double mse = squared / (4.0 * a.width * a.height);
    return mse == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 / mse);
}

Image Render(const Image& src, int32_t orientation, Size32 scaled) {
    Image out(scaled.width, scaled.height);
    EXPECT_TRUE(Resample(src.View(), orientation, out.Target()));
    return out;
}

TEST(ResampleTest, OrientationsTurnTheStoredPixelsUpright) {
    // Stored 2 wide and 3 high:  a b
    //                            c d
    //                            e f
    Image src(2, 3);
    const char names[] = "abcdef";
    for (int32_t i = 0; i < 6; ++i) {
        const uint8_t id = uint8_t(names[i]);
        const uint8_t pixel[4] = {id, uint8_t(id + 1), uint8_t(id + 2), 255};
        std::copy_n(pixel, 4, src.At(i % 2, i / 2));
    }
    struct Case {
        int32_t orientation;
        Size32 size;
        const char* rows;  // the upright pixels, row by row
    };
    const Case cases[] = {
        {1, {2, 3}, "abcdef"},  // as stored
        {2, {2, 3}, "badcfe"},  // mirrored horizontally
        {3, {2, 3}, "fedcba"},  // rotated 180
        {4, {2, 3}, "efcdab"},  // mirrored vertically
        {5, {3, 2}, "acebdf"},  // transposed
        {6, {3, 2}, "ecafdb"},  // rotated 90 clockwise
        {7, {3, 2}, "fdbeca"},  // transversed
        {8, {3, 2}, "bdface"},  // rotated 270 clockwise
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UprightSize({2, 3}, c.orientation), c.size) << c.orientation;
        Image out(c.size.width, c.size.height, 8);
        ASSERT_TRUE(Resample(src.View(), c.orientation, out.Target())) << c.orientation;
        std::string seen;
        for (int32_t y = 0; y < out.height; ++y) {
            for (int32_t x = 0; x < out.width; ++x) {
                const uint8_t* p = out.At(x, y);
                EXPECT_EQ(p[1], p[0] + 1);
                EXPECT_EQ(p[2], p[0] + 2);
                EXPECT_EQ(p[3], 255);
                seen += char(p[0]);
            }
            for (int32_t i = 0; i < 8; ++i) {
                EXPECT_EQ(out.At(out.width, y)[i], 0xCD) << "row padding written";
            }
        }
        EXPECT_EQ(seen, c.rows) << "orientation " << c.orientation;
    }
    EXPECT_EQ(UprightSize({2, 3}, 0), Size32{});
    EXPECT_EQ(UprightSize({2, 3}, 9), Size32{});
}

TEST(ResampleTest, FlatColoursComeBackExactly) {
    const Size32 sizes[] = {{1, 1},   {9, 7},   {37, 23},  {38, 23}, {120, 80},
                            {500, 3}, {2, 300}, {60, 400}, {400, 60}};
    std::mt19937 random(7);
    for (int round = 0; round < 4; ++round) {
        uint8_t colour[4] = {kKey[0], kKey[1], kKey[2], kKey[3]};
        if (round > 0) {
            const uint8_t a = uint8_t(random());
            colour[3] = a;
            for (int k = 0; k < 3; ++k) {
                colour[k] = uint8_t(random() % (a + 1));
            }
        }
        const Image src = Flat(37, 23, colour);
        for (const Size32 size : sizes) {
            for (int32_t orientation = 1; orientation <= 8; ++orientation) {
                const Image out = Render(src, orientation, size);
                for (int32_t y = 0; y < size.height; ++y) {
                    for (int32_t x = 0; x < size.width; ++x) {
                        ASSERT_TRUE(std::equal(colour, colour + 4, out.At(x, y)))
                            << size.width << "x" << size.height << " o" << orientation << " at "
                            << x << "," << y;
                    }
                }
            }
        }
    }
}

// Whether destination pixel `i` reads only source pixels in [lo, hi) along one axis.
bool ReadsOnlyWithin(int32_t srcLen, int32_t dstLen, int32_t i, int32_t lo, int32_t hi) {
    if (dstLen < srcLen) {
        return int64_t{i} * srcLen >= int64_t{lo} * dstLen &&
               int64_t{i + 1} * srcLen <= int64_t{hi} * dstLen;
    }
    const double centre = (i + 0.5) * srcLen / dstLen - 0.5;
    return centre >= lo && centre <= hi - 1;
}

TEST(ResampleTest, TheColourKeyInsideAPhotoSurvivesExactly) {
    Image src = PhotoLike(200, 150);
    const Rect32 block{50, 40, 150, 110};
    for (int32_t y = block.top; y < block.bottom; ++y) {
        for (int32_t x = block.left; x < block.right; ++x) {
            std::copy_n(kKey, 4, src.At(x, y));
        }
    }
    const Size32 sizes[] = {
        {64, 48},    // reduced
        {9, 7},      // reduced steeply, beyond the short weights
        {500, 375},  // enlarged
        {500, 48},   // wider and flatter
        {31, 600},   // narrower and taller
    };
    for (const Size32 size : sizes) {
        const Image out = Render(src, 1, size);
        int32_t inside = 0;
        for (int32_t y = 0; y < size.height; ++y) {
            for (int32_t x = 0; x < size.width; ++x) {
                if (ReadsOnlyWithin(200, size.width, x, block.left, block.right) &&
                    ReadsOnlyWithin(150, size.height, y, block.top, block.bottom)) {
                    ++inside;
                    ASSERT_TRUE(std::equal(kKey, kKey + 4, out.At(x, y)))
                        << size.width << "x" << size.height << " at " << x << "," << y;
                }
            }
        }
        EXPECT_GT(inside, 0) << size.width << "x" << size.height;
    }
}

TEST(ResampleTest, MatchesADoublePrecisionFilter) {
    struct Case {
        Size32 source;
        int32_t orientation;
        Size32 scaled;
    };
    const Case cases[] = {
        {{600, 400}, 1, {96, 64}},    // reduced 6.25 times
        {{601, 397}, 1, {97, 61}},    // by uneven factors
        {{601, 397}, 6, {61, 97}},    // rotated
        {{600, 400}, 1, {37, 25}},    // steeply: the steepest with 8-bit row weights
        {{601, 397}, 3, {20, 13}},    // steeper still
        {{160, 120}, 1, {400, 300}},  // enlarged 2.5 times
        {{160, 120}, 8, {333, 451}},  // enlarged unevenly, rotated
        {{300, 200}, 1, {500, 50}},   // wider and flatter
        {{300, 200}, 5, {30, 700}},   // narrower and taller, transposed
    };
    for (const Case& c : cases) {
        const Image src = PhotoLike(c.source.width, c.source.height);
        const Image out = Render(src, c.orientation, c.scaled);
        const Image reference =
            Reference(Upright(src, c.orientation), c.scaled.width, c.scaled.height);
        const double psnr = Psnr(out, reference);
        std::printf("%dx%d o%d -> %dx%d: PSNR %.1f dB\n", c.source.width, c.source.height,
                    c.orientation, c.scaled.width, c.scaled.height, psnr);
        // Only fixed-point rounding separates the two, which costs far less than any fault would.
        EXPECT_GE(psnr, 55.0);
        // Premultiplied pixels stay valid: no channel above its alpha.
        for (int32_t y = 0; y < out.height; ++y) {
            for (int32_t x = 0; x < out.width; ++x) {
                const uint8_t* p = out.At(x, y);
                ASSERT_LE(std::max({p[0], p[1], p[2]}), p[3]) << x << "," << y;
            }
        }
    }
}

TEST(ResampleTest, ARegionIsTheCropOfTheWholeRender) {
    const Image src = PhotoLike(83, 61, 3);
    const Size32 sizes[] = {{83, 61}, {20, 15}, {211, 140}, {150, 9}, {7, 200}};
    for (const Size32 scaled : sizes) {
        for (int32_t orientation = 1; orientation <= 8; ++orientation) {
            const Image whole = Render(src, orientation, scaled);
            const int32_t w = scaled.width;
            const int32_t h = scaled.height;
            const Rect32 regions[] = {
                {0, 0, w, h},
                {0, 0, 1, 1},
                {w - 1, h - 1, w, h},
                {w / 3, 0, w / 2 + 1, h},
                {0, h / 4, w, h / 4 + 1},
                {w / 5, h / 3, w - 1, h - 2},
            };
            for (const Rect32& r : regions) {
                Image part(r.right - r.left, r.bottom - r.top, 12);
                ASSERT_TRUE(ResampleRegion(src.View(), orientation, scaled, r, part.Target()));
                for (int32_t y = 0; y < part.height; ++y) {
                    ASSERT_TRUE(std::equal(part.At(0, y), part.At(part.width, y),
                                           whole.At(r.left, r.top + y)))
                        << w << "x" << h << " o" << orientation << " region " << r.left << ","
                        << r.top << "," << r.right << "," << r.bottom << " row " << y;
                    ASSERT_TRUE(std::all_of(part.At(part.width, y), part.At(part.width, y) + 12,
                                            [](uint8_t b) { return b == 0xCD; }));
                }
            }
        }
    }
}

TEST(ResampleTest, ASmallRegionOfTheLargestScaleCostsOnlyItsOwnPixels) {
    // The whole render would take 16 GiB; the region's work and memory must not depend on that.
    const Image src = PhotoLike(300, 200);
    const Size32 scaled{kMaxScaledSide, kMaxScaledSide};
    const Rect32 region{65000, 30000, 65016, 30016};
    for (int32_t orientation : {1, 6, 7}) {
        Image part(16, 16);
        ASSERT_TRUE(ResampleRegion(src.View(), orientation, scaled, region, part.Target()));
        const Image reference =
            Reference(Upright(src, orientation), scaled.width, scaled.height, region);
        EXPECT_LE(MaxDifference(part, reference), 1) << orientation;
    }
}

TEST(ResampleTest, RejectsInvalidInputsWithoutTouchingAnything) {
    const Image src = PhotoLike(6, 4);
    const PixelView good = src.View();
    struct Case {
        const char* label;
        PixelView src;
        int32_t orientation;
        Size32 scaled;
        Rect32 region;
        Size32 dst;
        ptrdiff_t dstStride;  // 0 for tightly packed
    };
    const ptrdiff_t huge = std::numeric_limits<ptrdiff_t>::max() / 2;
    const Case cases[] = {
        {"no source", {nullptr, 6, 4, 24}, 1, {3, 2}, {0, 0, 3, 2}, {3, 2}, 0},
        {"zero width", {good.data, 0, 4, 24}, 1, {3, 2}, {0, 0, 3, 2}, {3, 2}, 0},
        {"negative height", {good.data, 6, -4, 24}, 1, {3, 2}, {0, 0, 3, 2}, {3, 2}, 0},
        {"short stride", {good.data, 6, 4, 23}, 1, {3, 2}, {0, 0, 3, 2}, {3, 2}, 0},
        {"negative stride", {good.data, 6, 4, -24}, 1, {3, 2}, {0, 0, 3, 2}, {3, 2}, 0},
        {"stride overflows", {good.data, 6, 4, huge}, 1, {3, 2}, {0, 0, 3, 2}, {3, 2}, 0},
        {"orientation 0", good, 0, {3, 2}, {0, 0, 3, 2}, {3, 2}, 0},
        {"orientation 9", good, 9, {3, 2}, {0, 0, 3, 2}, {3, 2}, 0},
        {"scaled empty", good, 1, {0, 2}, {0, 0, 0, 2}, {3, 2}, 0},
        {"scaled negative", good, 1, {3, -2}, {0, 0, 3, 2}, {3, 2}, 0},
        {"scaled too wide", good, 1, {kMaxScaledSide + 1, 2}, {0, 0, 3, 2}, {3, 2}, 0},
        {"scaled too tall", good, 6, {3, kMaxScaledSide + 1}, {0, 0, 3, 2}, {3, 2}, 0},
        {"region empty", good, 1, {3, 2}, {1, 1, 1, 2}, {3, 2}, 0},
        {"region inverted", good, 1, {3, 2}, {2, 0, 1, 2}, {3, 2}, 0},
        {"region left of it", good, 1, {3, 2}, {-1, 0, 2, 2}, {3, 2}, 0},
        {"region below it", good, 1, {3, 2}, {0, 1, 3, 3}, {3, 2}, 0},
        {"region far out", good, 1, {3, 2}, {INT32_MAX - 3, 0, INT32_MAX, 2}, {3, 2}, 0},
        {"target too small", good, 1, {3, 2}, {0, 0, 3, 2}, {2, 2}, 0},
        {"target too large", good, 1, {3, 2}, {0, 0, 3, 2}, {3, 3}, 0},
        {"target stride short", good, 1, {3, 2}, {0, 0, 3, 2}, {3, 2}, 11},
        {"target stride overflows", good, 1, {3, 4}, {0, 0, 3, 4}, {3, 4}, huge},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> target(static_cast<size_t>(c.dst.width * c.dst.height * 4), 0xCD);
        const PixelTarget dst{target.data(), c.dst.width, c.dst.height,
                              c.dstStride != 0 ? c.dstStride : ptrdiff_t{c.dst.width} * 4};
        EXPECT_FALSE(ResampleRegion(c.src, c.orientation, c.scaled, c.region, dst)) << c.label;
        EXPECT_TRUE(std::all_of(target.begin(), target.end(), [](uint8_t b) { return b == 0xCD; }))
            << c.label;
    }
    uint8_t byte = 0xCD;
    EXPECT_FALSE(Resample(good, 1, {nullptr, 3, 2, 12}));
    EXPECT_FALSE(Resample(good, 1, {&byte, 0, 0, 0}));
    CompositeOver({nullptr, 3, 2, 12}, 0);
    CompositeOver({&byte, 1, 1, 3}, 0);
    EXPECT_EQ(byte, 0xCD);
}

TEST(ResampleTest, StripsOnePixelWideOrHigh) {
    struct Case {
        Size32 source;
        Size32 scaled;
    };
    const Case cases[] = {
        {{1, 1}, {7, 5}},    {{1, 300}, {1, 41}}, {{1, 41}, {1, 300}}, {{300, 1}, {41, 1}},
        {{41, 1}, {300, 1}}, {{300, 1}, {1, 1}},  {{1, 300}, {1, 1}},  {{1, 3000}, {1, 7}},
        {{300, 1}, {5, 9}},  {{1, 300}, {9, 5}},  {{1, 1}, {1, 1}},
    };
    for (const Case& c : cases) {
        const Image src = PhotoLike(c.source.width, c.source.height, 11);
        for (int32_t orientation : {1, 2, 6, 7}) {
            const Size32 upright = UprightSize(c.source, orientation);
            const Size32 scaled =
                upright == c.source ? c.scaled : Size32{c.scaled.height, c.scaled.width};
            const Image out = Render(src, orientation, scaled);
            const Image reference =
                Reference(Upright(src, orientation), scaled.width, scaled.height);
            EXPECT_LE(MaxDifference(out, reference), 1)
                << c.source.width << "x" << c.source.height << " -> " << scaled.width << "x"
                << scaled.height << " o" << orientation;
        }
    }
}

// Feeds `src` to a streaming render band by band, `bandRows` rows at a time, each band copied
// into a buffer of its own that is spoiled once fed: the resampler must keep what it needs.
bool RenderInBands(const Image& src, int32_t orientation, Size32 scaled, Rect32 region,
                   int32_t bandRows, Image& out, std::optional<uint32_t> fill = std::nullopt) {
    RowStreamResampler resampler;
    if (!resampler.Begin({src.width, src.height}, orientation, scaled, region, out.Target(),
                         fill)) {
        return false;
    }
    const int32_t left = resampler.FirstColumn();
    const int32_t width = resampler.EndColumn() - left;
    Image band(width, bandRows, 4);
    while (resampler.NextRow() < resampler.EndRow()) {
        const int32_t top = resampler.NextRow();
        // The last band may run past the rows read; those rows are ignored.
        const int32_t rows = std::min(bandRows, src.height - top);
        for (int32_t y = 0; y < rows; ++y) {
            std::copy_n(src.At(left, top + y), width * 4, band.At(0, y));
        }
        if (!resampler.Feed({band.pixels.data(), width, rows, band.stride}, top)) {
            return false;
        }
        std::fill(band.pixels.begin(), band.pixels.end(), uint8_t{0xEE});
    }
    return resampler.Done();
}

TEST(ResampleTest, BandsOfAnyHeightGiveExactlyTheWholeRender) {
    struct Case {
        Size32 source;
        Size32 scaled;  // upright
    };
    const Case cases[] = {
        {{83, 61}, {20, 15}},    // reduced about 4 times: short weights
        {{83, 61}, {4, 3}},      // reduced 20 times: long weights, a result row spans bands
        {{83, 61}, {211, 140}},  // enlarged
        {{83, 61}, {83, 61}},    // as stored
        {{83, 61}, {150, 9}},    // wider and flatter
        {{83, 61}, {7, 200}},    // narrower and taller
        {{1, 97}, {1, 5}},       // one pixel wide
        {{97, 1}, {5, 3}},       // one pixel high
    };
    const int32_t bandHeights[] = {1, 2, 3, 7, 16, 64, 1000};
    for (const Case& c : cases) {
        const Image src = PhotoLike(c.source.width, c.source.height, 5);
        for (int32_t orientation = 1; orientation <= 8; ++orientation) {
            const Size32 scaled = UprightSize(c.scaled, orientation) == c.scaled
                                      ? c.scaled
                                      : Size32{c.scaled.height, c.scaled.width};
            const int32_t w = scaled.width;
            const int32_t h = scaled.height;
            const Rect32 regions[] = {
                {0, 0, w, h},
                {w / 3, h / 4, std::max(w / 3 + 1, w - w / 5), std::max(h / 4 + 1, h - h / 3)},
                {w - 1, 0, w, h},
                {0, h - 1, w, h},
            };
            for (const Rect32& r : regions) {
                Image whole(r.right - r.left, r.bottom - r.top, 12);
                ASSERT_TRUE(ResampleRegion(src.View(), orientation, scaled, r, whole.Target()));
                Image over = whole;
                CompositeOver(over.Target(), 0x00C08040);
                for (const int32_t rows : bandHeights) {
                    const std::string label =
                        std::to_string(c.source.width) + "x" + std::to_string(c.source.height) +
                        " -> " + std::to_string(w) + "x" + std::to_string(h) + " o" +
                        std::to_string(orientation) + " region " + std::to_string(r.left) + "," +
                        std::to_string(r.top) + "," + std::to_string(r.right) + "," +
                        std::to_string(r.bottom) + " bands of " + std::to_string(rows);
                    Image part(whole.width, whole.height, 12);
                    ASSERT_TRUE(RenderInBands(src, orientation, scaled, r, rows, part)) << label;
                    EXPECT_EQ(part.pixels, whole.pixels) << label;
                    // Drawn over the fill as it goes: the same as compositing afterwards.
                    Image drawn(whole.width, whole.height, 12);
                    ASSERT_TRUE(RenderInBands(src, orientation, scaled, r, rows, drawn, 0x00C08040))
                        << label;
                    EXPECT_EQ(drawn.pixels, over.pixels) << label;
                }
            }
        }
    }
}

TEST(ResampleTest, AStreamReadsOnlyTheRowsAndColumnsOfItsRegion) {
    // The bottom right quarter of a halved photo reads the bottom right quarter of the stored
    // one; turned by 180 degrees, the top left one.
    Image dst(50, 40);
    RowStreamResampler resampler;
    ASSERT_TRUE(resampler.Begin({200, 160}, 1, {100, 80}, {50, 40, 100, 80}, dst.Target()));
    EXPECT_EQ(resampler.FirstRow(), 80);
    EXPECT_EQ(resampler.EndRow(), 160);
    EXPECT_EQ(resampler.FirstColumn(), 100);
    EXPECT_EQ(resampler.EndColumn(), 200);
    EXPECT_EQ(resampler.NextRow(), 80);
    ASSERT_TRUE(resampler.Begin({200, 160}, 3, {100, 80}, {50, 40, 100, 80}, dst.Target()));
    EXPECT_EQ(resampler.FirstRow(), 0);
    EXPECT_EQ(resampler.EndRow(), 80);
    EXPECT_EQ(resampler.FirstColumn(), 0);
    EXPECT_EQ(resampler.EndColumn(), 100);
    // Transposed, the region's columns are stored rows.
    Image tall(40, 50);
    ASSERT_TRUE(resampler.Begin({200, 160}, 6, {80, 100}, {0, 0, 40, 50}, tall.Target()));
    EXPECT_EQ(resampler.FirstRow(), 80);
    EXPECT_EQ(resampler.EndRow(), 160);
    EXPECT_EQ(resampler.FirstColumn(), 0);
    EXPECT_EQ(resampler.EndColumn(), 100);
}

TEST(ResampleTest, AStreamRefusesBandsItCannotTakeAndStaysUsable) {
    const Image src = PhotoLike(60, 40, 9);
    Image whole(15, 10);
    ASSERT_TRUE(ResampleRegion(src.View(), 1, {15, 10}, {0, 0, 15, 10}, whole.Target()));

    Image out(15, 10);
    RowStreamResampler resampler;
    EXPECT_FALSE(resampler.Feed(src.View(), 0)) << "before Begin";
    EXPECT_FALSE(resampler.Done());
    ASSERT_TRUE(resampler.Begin({60, 40}, 1, {15, 10}, {0, 0, 15, 10}, out.Target()));
    const auto rows = [&](int32_t first, int32_t count) {
        return PixelView{src.At(0, first), 60, count, src.stride};
    };
    EXPECT_FALSE(resampler.Feed(rows(1, 5), 1)) << "not the first row";
    EXPECT_FALSE(resampler.Feed({src.pixels.data(), 59, 5, src.stride}, 0)) << "too narrow";
    EXPECT_FALSE(resampler.Feed({src.pixels.data(), 60, 0, src.stride}, 0)) << "empty";
    EXPECT_FALSE(resampler.Feed({nullptr, 60, 5, src.stride}, 0)) << "no pixels";
    EXPECT_FALSE(resampler.Feed({src.pixels.data(), 60, 5, 100}, 0)) << "short stride";
    ASSERT_TRUE(resampler.Feed(rows(0, 6), 0));
    EXPECT_EQ(resampler.NextRow(), 6);
    EXPECT_FALSE(resampler.Feed(rows(0, 6), 0)) << "again";
    EXPECT_FALSE(resampler.Feed(rows(7, 6), 7)) << "a row skipped";
    EXPECT_FALSE(resampler.Done());
    ASSERT_TRUE(resampler.Feed(rows(6, 34), 6));
    EXPECT_TRUE(resampler.Done());
    EXPECT_EQ(resampler.NextRow(), resampler.EndRow());
    EXPECT_FALSE(resampler.Feed(rows(39, 1), 40)) << "after the last row";
    EXPECT_EQ(out.pixels, whole.pixels);

    // Refused inputs leave nothing to feed.
    EXPECT_FALSE(resampler.Begin({60, 40}, 9, {15, 10}, {0, 0, 15, 10}, out.Target()));
    EXPECT_FALSE(resampler.Feed(rows(0, 40), 0));
    EXPECT_FALSE(resampler.Begin({0, 40}, 1, {15, 10}, {0, 0, 15, 10}, out.Target()));
    EXPECT_FALSE(resampler.Done());
}

TEST(ResampleTest, AStreamsMemoryFollowsTheRegionAndTheStripNotTheStoredRows) {
    // Only Begin: the tables and buffers are sized there, and no pixels are needed for that.
    Image dst(960, 640);
    RowStreamResampler resampler;
    ASSERT_TRUE(resampler.Begin({6000, 4000}, 1, {960, 640}, {0, 0, 960, 640}, dst.Target()));
    const size_t typical = resampler.AllocatedBytes();
    std::printf("24 MP to 960x640 streams with %zu bytes\n", typical);
    // One row of sums across the stored width (48 KB) and the region's column weights: far below
    // the 96 MB of the decoded photo, or even one 64-row band of it (1.5 MB).
    EXPECT_LT(typical, size_t{128} << 10);
    for (const int32_t factor : {10, 100}) {
        RowStreamResampler taller;
        ASSERT_TRUE(taller.Begin({6000, 4000 * factor}, 1, {960, 640 * factor}, {0, 0, 960, 640},
                                 dst.Target()));
        EXPECT_EQ(taller.AllocatedBytes(), typical) << factor;
    }
    // A narrow region keeps a narrow strip.
    Image corner(96, 64);
    RowStreamResampler narrow;
    ASSERT_TRUE(narrow.Begin({6000, 4000}, 1, {960, 640}, {0, 0, 96, 64}, corner.Target()));
    EXPECT_LT(narrow.AllocatedBytes(), typical / 8);
    // However steep the reduction: its long sums take 32 bits and its column weights more, but
    // no stored rows are kept.
    Image thumb(30, 20);
    RowStreamResampler steep;
    ASSERT_TRUE(steep.Begin({6000, 4000}, 1, {30, 20}, {0, 0, 30, 20}, thumb.Target()));
    EXPECT_LT(steep.AllocatedBytes(), size_t{6000} * 4 * 6 + (size_t{32} << 10));
    // An enlargement keeps one stored row.
    Image large(1920, 1440);
    RowStreamResampler enlarging;
    ASSERT_TRUE(enlarging.Begin({640, 480}, 1, {1920, 1440}, {0, 0, 1920, 1440}, large.Target()));
    EXPECT_LT(enlarging.AllocatedBytes(), size_t{640} * 4 * 3 + size_t{1920} * 32);
}

TEST(ResampleTest, CompositeOverDrawsOnTheFillColourAndEndsOpaque) {
    const uint32_t fillColorRef = 0x00C08040;  // red 0x40, green 0x80, blue 0xC0
    struct Case {
        uint8_t pixel[4];  // premultiplied B, G, R, A
        uint8_t expected[4];
    };
    // The fill shows through by (255 - alpha) / 255: 0xC0, 0x80, 0x40 times 127 / 255 rounds to
    // 96, 64, 32.
    const Case cases[] = {
        {{0, 0, 0, 0}, {0xC0, 0x80, 0x40, 255}},
        {{10, 20, 30, 0}, {202, 148, 94, 255}},  // light without cover adds to the fill
        {{100, 50, 128, 128}, {196, 114, 160, 255}},
        {{128, 128, 128, 128}, {224, 192, 160, 255}},
        {{200, 100, 50, 255}, {200, 100, 50, 255}},
        {{0, 0, 254, 255}, {0, 0, 254, 255}},
        {{250, 200, 255, 10}, {255, 255, 255, 255}},  // channels above alpha saturate
    };
    Image img(static_cast<int32_t>(std::size(cases)), 2, 8);
    for (int32_t y = 0; y < 2; ++y) {
        for (size_t i = 0; i < std::size(cases); ++i) {
            std::copy_n(cases[i].pixel, 4, img.At(int32_t(i), y));
        }
    }
    CompositeOver(img.Target(), fillColorRef);
    for (int32_t y = 0; y < 2; ++y) {
        for (size_t i = 0; i < std::size(cases); ++i) {
            const uint8_t* p = img.At(int32_t(i), y);
            EXPECT_TRUE(std::equal(p, p + 4, cases[i].expected))
                << i << ": " << int(p[0]) << " " << int(p[1]) << " " << int(p[2]) << " "
                << int(p[3]);
        }
        for (int32_t k = 0; k < 8; ++k) {
            EXPECT_EQ(img.At(img.width, y)[k], 0xCD);
        }
    }
}

}  // namespace
}  // namespace quillmere
