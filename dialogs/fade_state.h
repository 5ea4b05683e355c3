// The dialogs' fade: opacity up by 10 every 50 ms to 255 when they open, down by 10 to 0 before
// they end. Plain data and two steps, driven by the dialog's timers.
#pragma once

#include <cstdint>

namespace quillmere {

struct FadeState {
    static constexpr uintptr_t kFadeInTimer = 1000;
    static constexpr uintptr_t kFadeOutTimer = 1001;
    static constexpr uint32_t kPeriodMs = 50;
    static constexpr int32_t kStep = 10;

    int32_t m_opacity = 0;  // 0 transparent .. 255 opaque

    // One fade-in tick; true when 255 is reached and the fade-in timer stops.
    bool StepIn();
    // One fade-out tick; true when 0 is reached and the dialog ends.
    bool StepOut();
};

}  // namespace quillmere
