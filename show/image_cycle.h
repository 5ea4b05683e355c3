// The phase machine behind the photo window: on every tick the current photo moves one step
// through wait (first time only), appear, show, disappear and hide; it runs on plain data.
//
//   opacity
//   max |         +-----------+
//       |        /|           |\.
//       |       / |           | \.
//     0 +------+  |           |  +--------+
//        wait   appear  show  disappear hide   then the next photo appears
#pragma once

#include <cstdint>
#include <optional>

#include "settings/saver_settings.h"
#include "show/random_source.h"

namespace quillmere {

enum Phase : int32_t {
    PhaseWait = 0,
    PhaseAppear = 1,
    PhaseDisappear = 2,
    PhaseShow = 3,
    PhaseHide = 4,
};

struct Rect32 {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    bool IsNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    bool operator==(const Rect32&) const = default;
};

struct Size32 {
    int32_t width = 0;
    int32_t height = 0;

    bool operator==(const Size32&) const = default;
};

// What the photo window supplies to the cycle.
class ImageCycleHost {
public:
    virtual ~ImageCycleHost() = default;
    // Makes the catalogue's next choice the current photo.
    virtual void LoadNextPhoto() = 0;
    // The current photo's size in pixels, or nothing when no photo is held.
    virtual std::optional<Size32> PhotoSize() const = 0;
    // The photo window's client size.
    virtual Size32 WindowSize() const = 0;
    virtual void RequestRepaint() = 0;
    virtual void ApplyOpacity(uint8_t alpha) = 0;
};

// The settings the cycle reads; they do not change while the show runs.
struct CycleSettings {
    int32_t BGCountFade = 30;
    int32_t ImageCountHide = 30;
    int32_t ImageCountAppear = 30;
    int32_t ImageCountShow = 30;
    int32_t ImageCountDisappear = 30;
    int32_t ImageMaxAlpha = 255;
    int32_t ImageMaxWidth = 50;
    int32_t ImageMaxHeight = 80;

    static CycleSettings From(const SaverSettings& s);
};

class ImageCycle {
public:
    ImageCycle(const CycleSettings& settings, ImageCycleHost& host, RandomSource& random)
        : m_settings(settings), m_host(host), m_random(random) {}

    void Begin();
    void Tick();
    void PlacePhoto();

    int32_t m_phase = PhaseWait;
    Rect32 m_placement;
    int32_t m_limit = 0;
    int32_t m_count = 0;
    int32_t m_alpha = 0;
    Rect32 m_displayed;

private:
    void BeginPhase(int32_t phase, int32_t limit);

    CycleSettings m_settings;
    ImageCycleHost& m_host;
    RandomSource& m_random;
};

// Where a photo of `photo` pixels goes in a window of `window` pixels: fitted into the allowed
// share in one direction, keeping its aspect ratio, offset by the draws r1 and r2 (0..32767).
Rect32 PlacementFor(Size32 photo, Size32 window, int32_t maxWidthPercent, int32_t maxHeightPercent,
                    int32_t r1, int32_t r2);

}  // namespace quillmere
