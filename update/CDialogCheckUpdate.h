// The update check: one HTTP GET to the maker's server while the dialog initialises; the reply's
// body, unchanged, is the message. A second button opens the product page.
#pragma once

#include "dialogs/CFadeDialog.h"

namespace quillmere {

class CDialogCheckUpdate final : public CFadeDialog {
public:
    CDialogCheckUpdate() : CFadeDialog(kTemplate, nullptr) {}

    static constexpr UINT kTemplate = 133;

protected:
    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    // Fetches the text and puts it into the status area. A network failure leaves the template's
    // text and leaves as an exception, which the central handler reports.
    void CheckUpdate();
    void OnOpenWebSite();
};

}  // namespace quillmere
