#include "show/image_cycle.h"

#include <gtest/gtest.h>

#include <deque>
#include <limits>
#include <random>

#include "show/image_catalogue.h"
#include "show/show_arithmetic.h"

namespace quillmere {
namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

// Plays the photo window: every load takes the next size from a queue (or keeps "no photo").
class FakeHost : public ImageCycleHost {
public:
    void LoadNextPhoto() override {
        ++loads;
        if (!sizes.empty()) {
            photo = sizes.front();
            sizes.pop_front();
        }
    }
    std::optional<Size32> PhotoSize() const override { return photo; }
    Size32 WindowSize() const override { return window; }
    void RequestRepaint() override { ++repaints; }
    void ApplyOpacity(uint8_t alpha) override { applied.push_back(alpha); }

    std::deque<std::optional<Size32>> sizes;
    std::optional<Size32> photo;
    Size32 window{1920, 1080};
    int loads = 0;
    int repaints = 0;
    std::vector<int> applied;
};

struct PlacementCase {
    const char* label;
    Size32 photo;
    Size32 window;
    int32_t maxW, maxH;
    int32_t r1, r2;
    Rect32 expected;
};

class PlacementTest : public testing::TestWithParam<PlacementCase> {};

TEST_P(PlacementTest, FitsIntoTheAllowedBoxAndOffsetsByTheDraws) {
    const PlacementCase& c = GetParam();
    EXPECT_EQ(PlacementFor(c.photo, c.window, c.maxW, c.maxH, c.r1, c.r2), c.expected) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlacementTest,
    testing::Values(
        PlacementCase{"landscape, draws 0", {4000, 3000}, {1920, 1080}, 50, 80, 0, 0,
                      {0, 0, 960, 720}},
        PlacementCase{"landscape, draws 32767 touch the edges", {4000, 3000}, {1920, 1080}, 50,
                      80, 32767, 32767, {960, 360, 1920, 1080}},
        PlacementCase{"landscape, middle draws", {4000, 3000}, {1920, 1080}, 50, 80, 10000, 20000,
                      {960 * 10000 / 32767, 360 * 20000 / 32767, 960 * 10000 / 32767 + 960,
                       360 * 20000 / 32767 + 720}},
        PlacementCase{"portrait fits by height", {3000, 4000}, {1920, 1080}, 50, 80, 0, 0,
                      {0, 0, 648, 864}},
        PlacementCase{"a tie fits by height", {3, 2}, {20, 8}, 50, 80, 0, 0, {0, 0, 9, 6}},
        PlacementCase{"small photo is enlarged", {100, 50}, {1920, 1080}, 50, 80, 0, 0,
                      {0, 0, 960, 480}},
        PlacementCase{"share of 0 has no size", {4000, 3000}, {1920, 1080}, 0, 0, 32767, 32767,
                      {1920, 1080, 1920, 1080}},
        PlacementCase{"share above 100 leaves no free space", {4000, 3000}, {1920, 1080}, 300,
                      300, 32767, 32767, {0, 0, 4320, 3240}},
        PlacementCase{"negative share has no size", {4000, 3000}, {1920, 1080}, -50, 80, 32767,
                      0, {1920, 0, 1920, 0}},
        PlacementCase{"1 x 30000 strip", {1, 30000}, {1920, 1080}, 50, 80, 32767, 0,
                      {1920, 0, 1920, 864}}));

class ImageCycleTest : public testing::Test {
protected:
    ImageCycle Make(const CycleSettings& s = {}) { return ImageCycle(s, host, random); }

    FakeHost host;
    RandomSource random;
};

TEST_F(ImageCycleTest, DefaultTimelineOfOnePhoto) {
    host.sizes = {Size32{4000, 3000}, Size32{4000, 3000}, Size32{4000, 3000}};
    ImageCycle cycle = Make();
    cycle.Begin();
    EXPECT_EQ(host.loads, 1);
    EXPECT_TRUE(cycle.m_displayed.IsNull());
    std::vector<int32_t> phases;
    for (int tick = 1; tick <= 185; ++tick) {
        cycle.Tick();
        phases.push_back(cycle.m_phase);
    }
    // Wait 60 ticks, appear from tick 61, each photo 124 ticks.
    EXPECT_EQ(std::count(phases.begin(), phases.begin() + 60, PhaseWait), 60);
    EXPECT_EQ(phases[60], PhaseAppear);
    EXPECT_EQ(std::count(phases.begin(), phases.end(), PhaseAppear), 31 + 1);
    EXPECT_EQ(std::count(phases.begin(), phases.end(), PhaseShow), 31);
    EXPECT_EQ(std::count(phases.begin(), phases.end(), PhaseDisappear), 31);
    EXPECT_EQ(std::count(phases.begin(), phases.end(), PhaseHide), 31);
    EXPECT_EQ(phases[184], PhaseAppear);  // tick 185 = 61 + 124
    EXPECT_EQ(host.loads, 3);
    EXPECT_EQ(host.repaints, 2);
    ASSERT_EQ(host.applied.size(), 185u);
    const std::vector<int> appear(host.applied.begin() + 60, host.applied.begin() + 91);
    EXPECT_EQ(appear.front(), 0);
    EXPECT_EQ(std::vector<int>(appear.begin(), appear.begin() + 5), (std::vector<int>{0, 8, 17, 25, 34}));
    EXPECT_EQ(appear[29], 246);
    EXPECT_EQ(appear.back(), 255);
    const std::vector<int> disappear(host.applied.begin() + 122, host.applied.begin() + 153);
    EXPECT_EQ(std::vector<int>(disappear.begin(), disappear.begin() + 4),
              (std::vector<int>{255, 247, 238, 230}));
    EXPECT_EQ(disappear[29], 9);
    EXPECT_EQ(disappear.back(), 0);
    EXPECT_TRUE(std::all_of(host.applied.begin(), host.applied.begin() + 60, [](int a) { return a == 0; }));
    EXPECT_TRUE(std::all_of(host.applied.begin() + 91, host.applied.begin() + 122, [](int a) { return a == 255; }));
    EXPECT_TRUE(std::all_of(host.applied.begin() + 153, host.applied.begin() + 184, [](int a) { return a == 0; }));
}

TEST_F(ImageCycleTest, PhotoMovesOnlyWhileAppearingAndStaysAfterwards) {
    host.sizes = {Size32{4000, 3000}, Size32{4000, 3000}};
    CycleSettings s;
    s.BGCountFade = 0;
    s.ImageCountHide = 0;
    s.ImageCountAppear = 2;
    ImageCycle cycle = Make(s);
    cycle.Begin();
    RandomSource replay = random;
    cycle.Tick();  // appear begins: one placement, two draws, r1 then r2
    const int32_t r1 = replay.Next();
    const int32_t r2 = replay.Next();
    EXPECT_EQ(cycle.m_displayed, PlacementFor({4000, 3000}, {1920, 1080}, 50, 80, r1, r2));
    EXPECT_EQ(cycle.m_displayed, cycle.m_placement);
    cycle.Tick();
    cycle.Tick();  // last appear tick
    const Rect32 last = cycle.m_displayed;
    for (int i = 0; i < 40; ++i) {
        cycle.Tick();
        ASSERT_NE(cycle.m_phase, PhaseAppear);
        ASSERT_EQ(cycle.m_displayed, last);
    }
}

TEST_F(ImageCycleTest, NoPhotoDrawsNothingDrawsNoRandomNumbersButStillFades) {
    ImageCycle cycle = Make();
    cycle.Begin();
    for (int i = 0; i < 300; ++i) {
        cycle.Tick();
        ASSERT_TRUE(cycle.m_displayed.IsNull());
    }
    EXPECT_EQ(random.Next(), RandomSource().Next());
    EXPECT_NE(std::find(host.applied.begin(), host.applied.end(), 255), host.applied.end());
}

TEST_F(ImageCycleTest, FirstCatalogueChoiceIsReplacedBeforeAnythingIsDrawn) {
    ImageCatalogue catalogue(random);
    for (auto p : {u"0", u"1", u"2"}) {
        catalogue.AppendForTest(p);
    }
    struct CatalogueHost final : FakeHost {
        ImageCatalogue* catalogue = nullptr;
        std::vector<std::u16string> shown;
        void LoadNextPhoto() override { shown.push_back(*catalogue->ChooseNext(0)); }
    } h;
    h.catalogue = &catalogue;
    CycleSettings s;
    s.BGCountFade = 0;
    s.ImageCountHide = 0;
    s.ImageCountAppear = 0;
    s.ImageCountShow = 0;
    s.ImageCountDisappear = 0;
    ImageCycle cycle(s, h, random);
    cycle.Begin();
    for (int i = 0; i < 16; ++i) {
        cycle.Tick();
    }
    EXPECT_EQ(h.shown, (std::vector<std::u16string>{u"0", u"1", u"2", u"0", u"1"}));
}

struct OpacityCase {
    const char* label;
    CycleSettings settings;
    std::vector<int> expected;  // opacities of the first ticks
};

CycleSettings With(int32_t fade, int32_t hide, int32_t appear, int32_t show, int32_t disappear,
                   int32_t maxAlpha) {
    CycleSettings s;
    s.BGCountFade = fade;
    s.ImageCountHide = hide;
    s.ImageCountAppear = appear;
    s.ImageCountShow = show;
    s.ImageCountDisappear = disappear;
    s.ImageMaxAlpha = maxAlpha;
    return s;
}

class OpacityTest : public testing::TestWithParam<OpacityCase> {};

TEST_P(OpacityTest, AppliesTheLowByteOfEachTicksOpacity) {
    FakeHost host;
    RandomSource random;
    ImageCycle cycle(GetParam().settings, host, random);
    cycle.Begin();
    for (size_t i = 0; i < GetParam().expected.size(); ++i) {
        cycle.Tick();
    }
    EXPECT_EQ(host.applied, GetParam().expected) << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpacityTest,
    testing::Values(
        // appear 0, 127, 255 | show | disappear 255, 128, 0 | hide | appear again
        OpacityCase{"no wait: the first tick already appears", With(0, 0, 2, 0, 2, 255),
                    {0, 127, 255, 255, 255, 128, 0, 0, 0, 127}},
        OpacityCase{"show of 0 lasts one tick", With(1, 0, 1, 0, 1, 200),
                    {0, 0, 200, 200, 200, 0, 0, 0}},
        OpacityCase{"max alpha 300 applies 44", With(0, 0, 1, 1, 1, 300),
                    {0, 44, 44, 44, 44, 0, 0, 0}},
        OpacityCase{"appear and disappear of 0 last one tick", With(0, 0, 0, 1, 0, 255),
                    {0, 255, 255, 255, 0, 0}},
        OpacityCase{"negative lengths last one tick", With(-5, -5, -5, -5, -5, 255),
                    {0, 255, 255, 0, 0, 255}},
        OpacityCase{"wrapping wait length lasts one tick", With(kMax, 1, 0, 0, 0, 255),
                    {0, 255, 255, 0}}));

// Every length, share and opacity at the edges of 32 bits must run without undefined behaviour
// (the sanitizers abort on any) and keep the drawn rectangle consistent.
TEST(ImageCycleExtremes, AnySettingsRunCleanly) {
    const int32_t values[] = {kMin, -1, 0, 1, 255, 256, kMax};
    const Size32 photos[] = {{1, 1}, {1, 30000}, {30000, 1}, {65535, 65535}, {kMax, kMax}, {kMax, 1}};
    const Size32 windows[] = {{1920, 1080}, {0, 0}, {1, 1}, {kMax, kMax}};
    std::mt19937 rng(7);
    auto pick = [&] { return values[std::uniform_int_distribution<int>(0, 6)(rng)]; };
    for (int round = 0; round < 3000; ++round) {
        CycleSettings s = With(pick(), pick(), pick(), pick(), pick(), pick());
        s.ImageMaxWidth = pick();
        s.ImageMaxHeight = pick();
        FakeHost host;
        host.window = windows[round % 4];
        for (int i = 0; i < 8; ++i) {
            host.sizes.push_back(photos[(round + i) % 6]);
        }
        RandomSource random;
        random.Seed(static_cast<uint32_t>(round));
        ImageCycle cycle(s, host, random);
        cycle.Begin();
        for (int tick = 0; tick < 40; ++tick) {
            cycle.Tick();
            ASSERT_EQ(host.applied.back(), static_cast<int>(cycle.m_alpha & 0xFF));
            const Rect32& d = cycle.m_displayed;
            ASSERT_GE(d.left, 0);
            ASSERT_GE(d.top, 0);
            ASSERT_GE(WrapSub(d.right, d.left), 0);
            ASSERT_GE(WrapSub(d.bottom, d.top), 0);
        }
    }
}

}  // namespace
}  // namespace quillmere
