#include "show/photo_pipeline.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillmere {
namespace {

// A decoder that fills every pixel with one colour; it may offer its own 1/2, 1/4, 1/8 scaling.
class FakeFrame final : public PhotoFrame {
public:
    FakeFrame(Size32 stored, bool scales) : m_stored(stored), m_scales(scales) {}

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
    bool CopyPixels(Size32 size, const PixelTarget& target) override {
        decoded.push_back(size);
        for (int32_t y = 0; y < target.height; ++y) {
            uint8_t* row = target.data + y * target.stride;
            for (int32_t x = 0; x < target.width; ++x) {
                row[4 * x + 0] = 0;    // blue
                row[4 * x + 1] = 0;    // green
                row[4 * x + 2] = 254;  // red
                row[4 * x + 3] = 255;
            }
        }
        return !failCopy;
    }

    std::vector<Size32> decoded;
    bool failCopy = false;

private:
    Size32 m_stored;
    bool m_scales;
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
    ASSERT_EQ(frame.decoded, (std::vector<Size32>{{1500, 1000}}));
    for (size_t i = 0; i < pixels.size(); i += 4) {
        ASSERT_EQ(pixels[i + 2], 254);
        ASSERT_EQ(pixels[i + 1], 0);
        ASSERT_EQ(pixels[i + 0], 0);
    }
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
}

}  // namespace
}  // namespace quillmere
