// The modal dialog base: a template from the resources, run with DoModal, messages from a static
// dialog procedure to virtual handlers, data exchange between controls and members, and the
// failure handler around each message.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/window.h"

namespace quillmere {

// One run of data exchange: controls to members (saving) or members to controls (loading).
class CDataExchange {
public:
    CDataExchange(HWND dialog, bool saveAndValidate)
        : m_hDialog(dialog), m_bSaveAndValidate(saveAndValidate) {}

    HWND m_hDialog;
    bool m_bSaveAndValidate;
};

// Each gives false when the saving direction refuses the control's contents; the message has
// then been shown and the control has the focus with its whole text selected.
bool DDX_Check(CDataExchange& dx, int id, int32_t& value);
bool DDX_Text(CDataExchange& dx, int id, int32_t& value);
bool DDV_MinMaxInt(CDataExchange& dx, int id, int32_t value, int32_t minimum, int32_t maximum);

class CDialog : public CWnd {
public:
    CDialog(UINT templateId, HWND parent) : m_templateId(templateId), m_parent(parent) {}

    // Runs the dialog; without a parent it is owned by the application's main window.
    INT_PTR DoModal();

    // Moves data between controls and members; false when saving was refused.
    bool UpdateData(bool saveAndValidate);

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual bool DoDataExchange(CDataExchange&) { return true; }

    // Every message the base does not handle itself; give true and set `result` when handled.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

    void EndDialog(INT_PTR result);

    // Shows a message box owned by this dialog, captioned with the application's name.
    int ShowMessage(const wchar_t* text, UINT style);

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam);
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    HWND m_parent;
};

}  // namespace quillmere
