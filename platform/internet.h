// WinINet for the update check: an owner for its handles, and its failures as the user sees them.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

#include "platform/failure.h"
#include "platform/unique_handle.h"

namespace quillmere {

using UniqueHInternet = UniqueHandle<NullHandleTraits<HINTERNET, InternetCloseHandle>>;

// The network layer's description of an error code: WinINet's own message table first, then the
// system's; empty when neither has a text.
std::wstring DescribeInternetError(DWORD code);

// A failure of the network layer, described by its error code.
[[noreturn]] void ThrowInternetFailure(DWORD code);

}  // namespace quillmere
