// The fifteen values that tune the saver, each named after its registry value.
#pragma once

#include <cstdint>
#include <string>

namespace quillmere {

// 0x00BBGGRR, red in the low byte.
using ColorRef = uint32_t;

struct SaverSettings {
    // Zero and empty, as the application object holds them before the first load.
    ColorRef BGColor = 0;
    int32_t BGAlpha = 0;
    ColorRef FGColorKey = 0;
    int32_t ImageMaxHeight = 0;
    int32_t ImageMaxWidth = 0;
    int32_t TimerInterval = 0;
    std::u16string ImageFolderPath;
    int32_t IncludeSubFolder = 0;
    int32_t BGCountFade = 0;
    int32_t ImageCountHide = 0;
    int32_t ImageCountAppear = 0;
    int32_t ImageCountShow = 0;
    int32_t ImageCountDisappear = 0;
    int32_t ImageMaxAlpha = 0;
    int32_t ImageShowRandom = 0;

    // The values a user gets before anything is stored; the folder is My Pictures when known.
    static SaverSettings Defaults(std::u16string folder);

    bool operator==(const SaverSettings&) const = default;
};

}  // namespace quillmere
