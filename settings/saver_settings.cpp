#include "settings/saver_settings.h"

#include <utility>

namespace quillmere {

SaverSettings SaverSettings::Defaults(std::u16string folder) {
    SaverSettings s;
    s.BGColor = 0;  // black
    s.BGAlpha = 100;
    s.FGColorKey = 254;  // red 254, green 0, blue 0
    s.ImageMaxHeight = 80;
    s.ImageMaxWidth = 50;
    s.TimerInterval = 100;
    s.ImageFolderPath = std::move(folder);
    s.IncludeSubFolder = 1;
    s.BGCountFade = 30;
    s.ImageCountHide = 30;
    s.ImageCountAppear = 30;
    s.ImageCountShow = 30;
    s.ImageCountDisappear = 30;
    s.ImageMaxAlpha = 255;
    s.ImageShowRandom = 1;
    return s;
}

}  // namespace quillmere
