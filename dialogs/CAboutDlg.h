// The About box: product, version, copyright, and a link to the maker's home page.
#pragma once

#include "dialogs/CFadeDialog.h"
#include "platform/gdi.h"

namespace quillmere {

class CAboutDlg final : public CFadeDialog {
public:
    CAboutDlg() : CFadeDialog(kTemplate, nullptr) {}

    static constexpr UINT kTemplate = 100;

protected:
    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    void OpenLink();

    UniqueFont m_linkFont;  // an underlined copy of the link's own font
};

}  // namespace quillmere
