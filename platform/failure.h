// Failures that leave a message handler: what they carry, and how the central handler reports
// them so that no exception ever crosses a window procedure.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

namespace quillmere {

// A failure with the text the user is shown; an empty text means it has no description.
class Failure : public std::exception {
public:
    explicit Failure(std::wstring description = {}) : m_description(std::move(description)) {}
    const char* what() const noexcept override { return "Quillmere failure"; }
    const std::wstring& Description() const { return m_description; }

private:
    std::wstring m_description;
};

// Called from inside a catch block for a message that `window` was handling. Shows the message
// box the failure calls for (none during creation or painting) and gives the message's result.
LRESULT ReportCurrentFailure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The texts of the message box, for a failure of the given kind; empty when nothing is shown.
struct FailureReport {
    std::wstring text;
    UINT style = 0;  // MB_* flags
};
FailureReport DescribeCurrentFailure(UINT message, LPARAM lParam);

}  // namespace quillmere
