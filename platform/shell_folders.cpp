#include "platform/shell_folders.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/wide_text.h"

namespace quillmere {

std::u16string MyPicturesFolder() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, path))) {
        return {};
    }
    path[MAX_PATH - 1] = L'\0';
    return FromWide(path);
}

}  // namespace quillmere
