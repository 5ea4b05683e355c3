#include "settings/stored_value.h"

namespace quillmere {

std::optional<int32_t> DecodeStoredInteger(std::span<const uint8_t> bytes) {
    if (bytes.size() > 4) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        value |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    }
    return static_cast<int32_t>(value);
}

std::u16string DecodeStoredString(std::span<const uint8_t> bytes) {
    std::u16string text;
    const size_t units = bytes.size() / 2;
    text.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        const char16_t unit =
            static_cast<char16_t>(bytes[2 * i] | (static_cast<unsigned>(bytes[2 * i + 1]) << 8));
        if (unit == u'\0') {
            break;
        }
        text.push_back(unit);
    }
    return text;
}

std::vector<uint8_t> EncodeStoredInteger(int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

std::vector<uint8_t> EncodeStoredString(std::u16string_view text) {
    std::vector<uint8_t> bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

}  // namespace quillmere
