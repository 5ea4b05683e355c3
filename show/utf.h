// Conversions between the core's UTF-16 text and UTF-8, for POSIX file names and test output.
#pragma once

#include <string>
#include <string_view>

namespace quillmere {

// Unpaired surrogates become U+FFFD; invalid UTF-8 bytes become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace quillmere
