// The help file, shown by the system's HTML Help component when it is there.
#pragma once

#include <windows.h>

#include <string>

namespace quillmere {

// Dialog help contexts are this base plus the dialog's template.
inline constexpr DWORD kHelpContextBase = 0x20000;

// Opens `helpFile` at `context`. HTML Help is loaded from the system folder only, on first use; a
// missing component or file shows nothing and harms nothing. Gives whether the call was made.
bool ShowHelpContext(HWND caller, const std::wstring& helpFile, DWORD context);

}  // namespace quillmere
