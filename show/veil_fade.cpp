#include "show/veil_fade.h"

#include "show/show_arithmetic.h"

namespace quillmere {

std::optional<uint8_t> VeilFade::Step(int32_t bgCountFade, int32_t bgAlpha) {
    m_count = WrapAdd(m_count, 1);
    if (m_count > bgCountFade) {
        return std::nullopt;
    }
    m_alpha = TruncDiv(WrapMul(m_count, bgAlpha), bgCountFade);
    return LowByte(m_alpha);
}

}  // namespace quillmere
