#include "show/random_source.h"

namespace quillmere {

RandomSource& RandomSource::Process() {
    static RandomSource source;
    return source;
}

}  // namespace quillmere
