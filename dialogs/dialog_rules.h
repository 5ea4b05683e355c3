// The settings dialog's rules for what it shows and accepts, apart from any window.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillmere {

// A check box shows 0 clear, 1 ticked, 2 indeterminate; any other stored value is first reset
// to 0, so it shows clear and is saved as 0.
int32_t CheckBoxValueToShow(int32_t stored);

// The opacity box read as "%d" reads it: its first 63 characters, leading white space, an optional
// sign, then digits up to the first non-digit; anything after them is ignored. Nothing when no
// digit follows. Numbers beyond 32 bits are clamped, so they stay out of range rather than wrap.
std::optional<int32_t> ParseDialogInteger(std::u16string_view text);

inline constexpr int32_t kMinOpacity = 0;
inline constexpr int32_t kMaxOpacity = 255;

// The messages of a refused opacity.
inline constexpr char16_t kIntegerMessage[] = u"Please enter an integer.";
inline constexpr char16_t kOpacityRangeMessage[] = u"Please enter an integer between 0 and 255.";

}  // namespace quillmere
