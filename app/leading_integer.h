// A signed decimal at the start of a text, read as the C run-time reads one: leading white space,
// an optional sign, digits up to the first non-digit, clamped to 32 bits.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillmere {

// Nothing when no digit follows the sign.
std::optional<int32_t> ParseLeadingInteger(std::u16string_view text);

}  // namespace quillmere
