// What the window system asks of a screen saver, read from its arguments.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quillmere {

enum class LaunchAction {
    Configure,
    Preview,
    Show,
    Unrecognised,  // ends at once: no window, no mutex
};

struct LaunchRequest {
    LaunchAction action = LaunchAction::Unrecognised;
    bool hasParent = false;  // preview only: whether a second argument was given
    int32_t parent = 0;      // preview only: the parent window's handle

    bool operator==(const LaunchRequest&) const = default;
};

// `args` are the arguments after the program path, split by the C run-time rules.
LaunchRequest ParseCommandLine(std::span<const std::u16string> args);

// A window handle as the preview passes it: leading white space, an optional sign, decimal
// digits up to the first non-digit; no digits give 0; values are clamped to 32 bits.
int32_t ParseWindowHandle(std::u16string_view text);

}  // namespace quillmere
