// Names the application derives from the path of its own file.
#pragma once

#include <string>
#include <string_view>

namespace quillmere {

// The file name without folder and extension ("Tessaly" for C:\Windows\Tessaly.scr). It names the
// registry key and the single-instance mutex, so a renamed copy keeps its own settings.
std::u16string ProgramNameFromPath(std::u16string_view modulePath);

// The help file beside the program: its full path with the extension replaced by ".CHM".
std::u16string HelpFilePathFromPath(std::u16string_view modulePath);

}  // namespace quillmere
