#include "app/program_name.h"

namespace quillmere {

namespace {

// Where the file name starts: after the last folder separator or drive colon.
size_t FileNameStart(std::u16string_view path) {
    const size_t sep = path.find_last_of(u"\\/:");
    return sep == std::u16string_view::npos ? 0 : sep + 1;
}

// Where the extension starts within the path, or npos when the file name has no dot.
size_t ExtensionStart(std::u16string_view path) {
    const size_t dot = path.find_last_of(u'.');
    if (dot == std::u16string_view::npos || dot < FileNameStart(path)) {
        return std::u16string_view::npos;
    }
    return dot;
}

}  // namespace

std::u16string ProgramNameFromPath(std::u16string_view modulePath) {
    const size_t start = FileNameStart(modulePath);
    const size_t dot = ExtensionStart(modulePath);
    const size_t end = dot == std::u16string_view::npos ? modulePath.size() : dot;
    return std::u16string(modulePath.substr(start, end - start));
}

std::u16string HelpFilePathFromPath(std::u16string_view modulePath) {
    const size_t dot = ExtensionStart(modulePath);
    std::u16string help(modulePath.substr(0, dot));
    help += u".CHM";
    return help;
}

}  // namespace quillmere
