#include "dialogs/dialog_rules.h"

#include "app/leading_integer.h"

namespace quillmere {

int32_t CheckBoxValueToShow(int32_t stored) {
    return (stored < 0 || stored > 2) ? 0 : stored;
}

std::optional<int32_t> ParseDialogInteger(std::u16string_view text) {
    return ParseLeadingInteger(text.substr(0, 63));
}

}  // namespace quillmere
