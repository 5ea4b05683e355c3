// A modal dialog that fades in when it opens and out before it ends; it always ends with IDOK.
#pragma once

#include "dialogs/fade_state.h"
#include "platform/dialog.h"

namespace quillmere {

class CFadeDialog : public CDialog {
public:
    CFadeDialog(UINT templateId, HWND parent) : CDialog(templateId, parent) {}

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    void OnTimer(UINT_PTR id);
    void StartFadeOut();

    FadeState m_fade;
};

// Adds the layered style without a frame change: the dialog stays invisible until its first
// opacity is set.
void MakeLayered(HWND dialog);

}  // namespace quillmere
