#include "update/reply_text.h"

namespace quillmere {

std::optional<int32_t> ParseStatusCode(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) {
        ++i;
    }
    int64_t value = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9' && digits < 9; ++i, ++digits) {
        value = value * 10 + (text[i] - u'0');
    }
    if (digits == 0) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

}  // namespace quillmere
