#pragma once

#include <cstdint>

namespace quillmere {

// Set once before any window exists; the saver windows read it.
enum class SaverMode : int32_t {
    Show = 0,
    Preview = 1,
    Configure = 2,
};

}  // namespace quillmere
