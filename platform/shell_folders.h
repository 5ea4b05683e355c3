#pragma once

#include <string>

namespace quillmere {

// The user's My Pictures folder as the shell names it now; empty when it cannot.
std::u16string MyPicturesFolder();

}  // namespace quillmere
