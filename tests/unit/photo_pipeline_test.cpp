#include "show/photo_pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace quillmere {
namespace {

// The pixel a fake photo has at (x, y) of its decoded size: a pattern that tells rows and columns
// apart, opaque unless `alpha` says otherwise.
void FakePixel(int32_t x, int32_t y, bool alpha, uint8_t* p) {
    const uint8_t a = alpha ? static_cast<uint8_t>(128 + (x * 5 + y * 3) % 128) : 255;
    p[0] = static_cast<uint8_t>((x * 7 + y) % (a + 1));
    p[1] = static_cast<uint8_t>((x + y * 11) % (a + 1));
    p[2] = static_cast<uint8_t>((x * 3 ^ y * 5) % (a + 1));
    p[3] = a;
}

// A decoder of a fake photo, either the key colour all over or the FakePixel pattern; it may
// offer its own 1/2, 1/4, 1/8 scaling. It records every rectangle asked for.
class FakeFrame final : public PhotoFrame {
public:
    FakeFrame(Size32 stored, bool scales, bool pattern = false)
        : m_stored(stored), m_scales(scales), m_pattern(pattern) {}

    Size32 StoredSize() const override { return m_stored; }
    std::optional<Size32> NativeSizeFor(Size32 wanted) override {
        if (!m_scales) {
            return std::nullopt;
        }
        // The smallest eighth-step reduction still covering `wanted`, as a JPEG decoder gives.
        for (int32_t denominator : {8, 4, 2}) {
            const Size32 s{(m_stored.width + denominator - 1) / denominator,
                           (m_stored.height + denominator - 1) / denominator};
            if (s.width >= wanted.width && s.height >= wanted.height) {
                return s;
            }
        }
        return m_stored;
    }
    bool CopyRect(Size32 size, Rect32 rect, const PixelTarget& target) override {
        requests.push_back({size, rect});
        if (target.width != rect.right - rect.left || target.height != rect.bottom - rect.top) {
            return false;
        }
        for (int32_t y = 0; y < target.height; ++y) {
            uint8_t* row = target.data + y * target.stride;
            for (int32_t x = 0; x < target.width; ++x) {
                if (m_pattern) {
                    FakePixel(rect.left + x, rect.top + y, true, row + 4 * x);
                } else {
                    const uint8_t key[4] = {0, 0, 254, 255};  // B, G, R, A
                    std::copy_n(key, 4, row + 4 * x);
                }
            }
        }
        return !failCopy;
    }

    struct Request {
        Size32 size;
        Rect32 rect;
    };
    std::vector<Request> requests;
    bool failCopy = false;

private:
    Size32 m_stored;
    bool m_scales;
    bool m_pattern;
};

struct PlanCase {
    const char* label;
    Size32 stored;
    int32_t orientation;
    Size32 window;
    int32_t maxW, maxH;
    Size32 upright, scaled;
    Rect32 region;
};

class PlanPhotoTest : public testing::TestWithParam<PlanCase> {};

TEST_P(PlanPhotoTest, FitsTheUprightPhotoAndClipsToTheWindow) {
    const PlanCase& c = GetParam();
    const PhotoPlan plan = PlanPhoto(c.stored, c.orientation, c.window, c.maxW, c.maxH);
    EXPECT_EQ(plan.upright, c.upright) << c.label;
    EXPECT_EQ(plan.scaled, c.scaled) << c.label;
    EXPECT_EQ(plan.region, c.region) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlanPhotoTest,
    testing::Values(
        PlanCase{"landscape", {4000, 3000}, 1, {1920, 1080}, 50, 80, {4000, 3000}, {960, 720},
                 {0, 0, 960, 720}},
        PlanCase{"phone portrait stored sideways", {4000, 3000}, 6, {1920, 1080}, 50, 80,
                 {3000, 4000}, {648, 864}, {0, 0, 648, 864}},
        PlanCase{"mirrored keeps sides", {4000, 3000}, 2, {1920, 1080}, 50, 80, {4000, 3000},
                 {960, 720}, {0, 0, 960, 720}},
        PlanCase{"absurd share is clipped to the window", {4000, 3000}, 1, {1920, 1080}, 1000,
                 1000, {4000, 3000}, {14400, 10800}, {0, 0, 1920, 1080}},
        PlanCase{"share of 0 gives an empty region", {4000, 3000}, 1, {1920, 1080}, 0, 0,
                 {4000, 3000}, {0, 0}, {0, 0, 0, 0}}));

TEST(DecodeSizeFor, UsesTheDecodersScalingOnlyWhenItStillCoversTheShownSize) {
    FakeFrame scaling({6000, 4000}, true);
    EXPECT_EQ(DecodeSizeFor(scaling, 1, {960, 640}), (Size32{1500, 1000}));
    EXPECT_EQ(DecodeSizeFor(scaling, 1, {700, 400}), (Size32{750, 500}));
    // Sideways photos ask for the stored orientation's sides.
    EXPECT_EQ(DecodeSizeFor(scaling, 6, {640, 960}), (Size32{1500, 1000}));
    EXPECT_EQ(DecodeSizeFor(scaling, 1, {6000, 4000}), (Size32{6000, 4000}));
    FakeFrame plain({6000, 4000}, false);
    EXPECT_EQ(DecodeSizeFor(plain, 1, {960, 640}), (Size32{6000, 4000}));
}

TEST(RenderPhoto, DecodesScalesAndKeepsTheKeyColourExact) {
    FakeFrame frame({6000, 4000}, true);
    const PhotoPlan plan = PlanPhoto(frame.StoredSize(), 1, {1920, 1080}, 50, 80);
    const int32_t w = plan.region.right;
    const int32_t h = plan.region.bottom;
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4);
    ASSERT_TRUE(RenderPhoto(frame, 1, plan, {pixels.data(), w, h, w * 4}, 0x000000FE));
    ASSERT_FALSE(frame.requests.empty());
    for (const FakeFrame::Request& r : frame.requests) {
        ASSERT_EQ(r.size, (Size32{1500, 1000}));
    }
    for (size_t i = 0; i < pixels.size(); i += 4) {
        ASSERT_EQ(pixels[i + 2], 254);
        ASSERT_EQ(pixels[i + 1], 0);
        ASSERT_EQ(pixels[i + 0], 0);
    }
}

// The whole decoded photo, as the resampler would have read it before bands.
std::vector<uint8_t> WholeFakePhoto(Size32 size) {
    std::vector<uint8_t> pixels(static_cast<size_t>(size.width) * size.height * 4);
    for (int32_t y = 0; y < size.height; ++y) {
        for (int32_t x = 0; x < size.width; ++x) {
            FakePixel(x, y, true, &pixels[(static_cast<size_t>(y) * size.width + x) * 4]);
        }
    }
    return pixels;
}

TEST(RenderPhoto, DecodesInBandsOnlyTheRowsAndColumnsTheRegionReads) {
    struct Case {
        const char* label;
        Size32 stored;
        int32_t orientation;
        Size32 window;
        int32_t share;  // of the window, in both directions
        int32_t copyRows;
    };
    const Case cases[] = {
        {"reduced, default bands", {1200, 800}, 1, {640, 480}, 50, 0},
        {"reduced, bands of one row", {1200, 800}, 1, {640, 480}, 50, 1},
        {"reduced, bands of 7 rows", {1201, 799}, 6, {640, 480}, 50, 7},
        {"reduced, bands of 64 rows", {1201, 799}, 3, {640, 480}, 80, 64},
        {"enlarged, bands of 7 rows", {90, 70}, 8, {640, 480}, 100, 7},
        // Larger than the window: the region is its top left, so the bottom rows and right
        // columns of the stored photo are never decoded, nor the left ones when mirrored.
        {"clipped, bands of 16 rows", {1200, 800}, 1, {300, 200}, 400, 16},
        {"clipped mirrored, bands of 5", {1200, 800}, 2, {300, 200}, 400, 5},
        {"clipped rotated, bands of 9", {1200, 800}, 7, {300, 200}, 400, 9},
    };
    for (const Case& c : cases) {
        FakeFrame frame(c.stored, false, true);
        const PhotoPlan plan = PlanPhoto(c.stored, c.orientation, c.window, c.share, c.share);
        const int32_t w = plan.region.right - plan.region.left;
        const int32_t h = plan.region.bottom - plan.region.top;
        std::vector<uint8_t> banded(static_cast<size_t>(w) * h * 4);
        ASSERT_TRUE(RenderPhoto(frame, c.orientation, plan, {banded.data(), w, h, w * 4}, 0x123456,
                                c.copyRows))
            << c.label;

        // Exactly the pixels of resampling the whole decoded photo at once.
        const std::vector<uint8_t> whole = WholeFakePhoto(c.stored);
        std::vector<uint8_t> expected(banded.size());
        ASSERT_TRUE(ResampleRegion(
            {whole.data(), c.stored.width, c.stored.height, ptrdiff_t{c.stored.width} * 4},
            c.orientation, plan.scaled, plan.region, {expected.data(), w, h, w * 4}));
        CompositeOver({expected.data(), w, h, w * 4}, 0x123456);
        EXPECT_EQ(banded, expected) << c.label;

        // Consecutive bands from the top down, each of at most the band's rows, of one strip of
        // columns, covering exactly what the resampler reads.
        RowStreamResampler resampler;
        ASSERT_TRUE(resampler.Begin(c.stored, c.orientation, plan.scaled, plan.region,
                                    {expected.data(), w, h, w * 4}));
        const int32_t rows = c.copyRows > 0
                                 ? c.copyRows
                                 : CopyRowsFor(resampler.EndColumn() - resampler.FirstColumn());
        ASSERT_FALSE(frame.requests.empty()) << c.label;
        int32_t next = resampler.FirstRow();
        for (const FakeFrame::Request& r : frame.requests) {
            EXPECT_EQ(r.size, c.stored) << c.label;
            EXPECT_EQ(r.rect.left, resampler.FirstColumn()) << c.label;
            EXPECT_EQ(r.rect.right, resampler.EndColumn()) << c.label;
            EXPECT_EQ(r.rect.top, next) << c.label;
            EXPECT_GT(r.rect.bottom, r.rect.top) << c.label;
            EXPECT_LE(r.rect.bottom - r.rect.top, rows) << c.label;
            next = r.rect.bottom;
        }
        EXPECT_EQ(next, resampler.EndRow()) << c.label;
        if (plan.scaled.width > c.window.width) {
            EXPECT_LT(resampler.EndRow() - resampler.FirstRow(), c.stored.height) << c.label;
            EXPECT_LT(resampler.EndColumn() - resampler.FirstColumn(), c.stored.width) << c.label;
        }
    }
}

TEST(RenderPhoto, RequestsAreAboutAHundredKilobytes) {
    EXPECT_EQ(CopyRowsFor(6000), 4);
    EXPECT_EQ(CopyRowsFor(1732), 14);
    EXPECT_EQ(CopyRowsFor(65535), 1);
    EXPECT_EQ(CopyRowsFor(1), 256);
    // Bands of whole requests up to a quarter megabyte, or of one request when that is larger.
    EXPECT_EQ(BandRowsFor(6000, 4), 8);
    EXPECT_EQ(BandRowsFor(1732, 14), 28);
    EXPECT_EQ(BandRowsFor(65535, 1), 1);
    EXPECT_EQ(BandRowsFor(65535, 4), 4);
    EXPECT_EQ(BandRowsFor(100, 7), 651);
}

TEST(RenderPhoto, FailedDecodeFails) {
    FakeFrame frame({600, 400}, false);
    frame.failCopy = true;
    const PhotoPlan plan = PlanPhoto(frame.StoredSize(), 1, {1920, 1080}, 50, 80);
    std::vector<uint8_t> pixels(static_cast<size_t>(plan.region.right) * plan.region.bottom * 4);
    EXPECT_FALSE(RenderPhoto(frame, 1, plan,
                             {pixels.data(), plan.region.right, plan.region.bottom,
                              plan.region.right * 4},
                             0));
    // The first failed request ends the decode.
    EXPECT_EQ(frame.requests.size(), 1u);
}

}  // namespace
}  // namespace quillmere
