#include "app/leading_integer.h"

#include <limits>

namespace quillmere {

std::optional<int32_t> ParseLeadingInteger(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i >= text.size() || text[i] < u'0' || text[i] > u'9') {
        return std::nullopt;
    }
    // Accumulate in 64 bits and stop growing once past the 32-bit range, so any digit count is safe.
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        if (magnitude <= kLimit) {
            magnitude = magnitude * 10 + (text[i] - u'0');
        }
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    if (value < std::numeric_limits<int32_t>::min()) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(value);
}

}  // namespace quillmere
