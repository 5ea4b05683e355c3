#include "platform/failure.h"

#include <new>

#include "platform/win_app.h"

namespace quillmere {

FailureReport DescribeCurrentFailure(UINT message, LPARAM lParam) {
    // A command that no control sent (a menu, an accelerator) has its own generic text.
    const bool plainCommand = message == WM_COMMAND && lParam == 0;
    const wchar_t* generic = plainCommand ? L"Command failed." : L"Internal application error.";
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return {L"Out of memory.", MB_OK | MB_ICONEXCLAMATION | MB_SYSTEMMODAL};
    } catch (const Failure& failure) {
        const std::wstring& text = failure.Description();
        return {text.empty() ? generic : text, MB_OK | MB_ICONSTOP};
    } catch (...) {
        return {generic, MB_OK | MB_ICONSTOP};
    }
}

LRESULT ReportCurrentFailure(HWND window, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE:
            return FALSE;  // the creation fails, silently
        case WM_CREATE:
            return -1;
        case WM_PAINT:
            // Marked as painted, so that no endless WM_PAINT follows; nothing is shown.
            ValidateRect(window, nullptr);
            return 0;
        default:
            break;
    }
    const FailureReport report = DescribeCurrentFailure(message, lParam);
    const CWinApp* app = CWinApp::Get();
    const std::wstring caption = app != nullptr ? app->AppName() : std::wstring();
    // Owned by the window whose message failed, so that ending the box enables no window that a
    // modal dialog above it still keeps disabled.
    HWND owner = IsWindow(window) ? GetAncestor(window, GA_ROOT) : nullptr;
    if (owner == nullptr && app != nullptr) {
        owner = app->MainWindow();
    }
    MessageBoxW(IsWindow(owner) ? owner : nullptr, report.text.c_str(), caption.c_str(),
                report.style);
    return message == WM_COMMAND ? TRUE : 0;
}

}  // namespace quillmere
