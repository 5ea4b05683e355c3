// The settings dialog of configuration mode: the photo folder, sub-folders, random order, and the
// veil's opacity and colour. It works on its own copy of all fifteen settings and records whether
// the user accepted; it never touches the registry itself.
#pragma once

#include "dialogs/fade_state.h"
#include "platform/dialog.h"
#include "settings/saver_settings.h"

namespace quillmere {

class CLumerollDlg final : public CDialog {
public:
    CLumerollDlg();

    static constexpr UINT kTemplate = 102;

    // The dialog's copy of the settings: filled before DoModal, read back after IDOK. The ten
    // values without a control leave exactly as they came.
    SaverSettings m_values;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool DoDataExchange(CDataExchange& dx) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    void StartFadeOut(INT_PTR result);
    void OnTimer(UINT_PTR id);
    bool OnCommand(UINT id);
    void BrowseForFolder();
    void ChooseColour();
    void OpenAbout();
    void OpenHelp();
    void PaintMinimised();

    HICON m_hIcon;
    FadeState m_fade;    // opacity 0 from construction only
    INT_PTR m_result = 0;  // 1 after an accepted OK, 2 after Cancel
};

}  // namespace quillmere
