#include "app/command_line.h"

#include "app/leading_integer.h"

namespace quillmere {

namespace {

char16_t FoldAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

}  // namespace

int32_t ParseWindowHandle(std::u16string_view text) {
    return ParseLeadingInteger(text).value_or(0);
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
