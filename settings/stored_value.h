// How the bytes of a stored value become a setting, whatever type the value was stored with.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillmere {

// An integer is read through a 4-byte buffer: a value of up to four bytes fills the low bytes of
// a zero (little-endian); a longer one does not fit and gives nothing.
std::optional<int32_t> DecodeStoredInteger(std::span<const uint8_t> bytes);

// A string is the stored UTF-16 text up to its first NUL, or all of it when there is none. A
// dangling odd byte is no whole code unit and is dropped.
std::u16string DecodeStoredString(std::span<const uint8_t> bytes);

// The forms the settings are written in: 4 bytes little-endian, and UTF-16 with its NUL.
std::vector<uint8_t> EncodeStoredInteger(int32_t value);
std::vector<uint8_t> EncodeStoredString(std::u16string_view text);

}  // namespace quillmere
