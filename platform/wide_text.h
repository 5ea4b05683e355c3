// The core keeps text as UTF-16 in std::u16string; on Windows wchar_t is the same 16-bit unit.
#pragma once

#include <string>
#include <string_view>

namespace quillmere {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");

inline std::wstring ToWide(std::u16string_view s) {
    return std::wstring(reinterpret_cast<const wchar_t*>(s.data()), s.size());
}

inline std::u16string FromWide(std::wstring_view s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.data()), s.size());
}

}  // namespace quillmere
