// The veil's fade-in: the opacity rises to BGAlpha over the first BGCountFade ticks, then the
// timer stops and the veil keeps its last opacity.
#pragma once

#include <cstdint>
#include <optional>

namespace quillmere {

struct VeilFade {
    int32_t m_count = 0;
    int32_t m_alpha = 0;

    // One tick: the opacity byte to apply, or nothing when the fade is over and its timer stops.
    std::optional<uint8_t> Step(int32_t bgCountFade, int32_t bgAlpha);
};

}  // namespace quillmere
