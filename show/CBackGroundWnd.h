// The veil of the show: a full-screen window in BGColor whose opacity rises to BGAlpha over the
// first BGCountFade ticks, beneath the photos.
#pragma once

#include "show/CSaverWnd.h"
#include "show/veil_fade.h"

namespace quillmere {

class CBackGroundWnd final : public CSaverWnd {
public:
    // Non-zero when the window was created; without a window no timer is started.
    BOOL Start();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnTimer(UINT_PTR id);
    void OnPaint();

    static constexpr UINT_PTR kFadeTimer = 1001;

    VeilFade m_fade;  // m_count, m_alpha
};

}  // namespace quillmere
