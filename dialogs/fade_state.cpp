#include "dialogs/fade_state.h"

namespace quillmere {

bool FadeState::StepIn() {
    m_opacity += kStep;
    if (m_opacity >= 255) {
        m_opacity = 255;
        return true;
    }
    return false;
}

bool FadeState::StepOut() {
    m_opacity -= kStep;
    if (m_opacity <= 0) {
        m_opacity = 0;
        return true;
    }
    return false;
}

}  // namespace quillmere
