#include "app/command_line.h"

#include <limits>

namespace quillmere {

namespace {

char16_t FoldAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool IsCrtSpace(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

}  // namespace

int32_t ParseWindowHandle(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && IsCrtSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
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

LaunchRequest ParseCommandLine(std::span<const std::u16string> args) {
    LaunchRequest request;
    if (args.empty()) {
        request.action = LaunchAction::Configure;
        return request;
    }
    std::u16string_view first = args[0];
    if (!first.empty() && (first[0] == u'-' || first[0] == u'/')) {
        first.remove_prefix(1);
    }
    const char16_t letter = first.empty() ? u'\0' : FoldAscii(first[0]);
    switch (letter) {
        case u'c':
            request.action = LaunchAction::Configure;
            break;
        case u'p':
            request.action = LaunchAction::Preview;
            if (args.size() > 1) {
                request.hasParent = true;
                request.parent = ParseWindowHandle(args[1]);
            }
            break;
        case u's':
            request.action = LaunchAction::Show;
            break;
        default:
            request.action = LaunchAction::Unrecognised;
            break;
    }
    return request;
}

}  // namespace quillmere
