// libFuzzer target for the photo header reader: any bytes at all, through a memory source.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>

#include "show/photo_header.h"

namespace {

using quillmere::PhotoHeader;

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

std::optional<PhotoHeader> ReadFrom(const uint8_t* data, size_t size) {
    quillmere::MemoryByteSource source(std::span<const uint8_t>(data, size));
    return quillmere::ReadPhotoHeader(source);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::optional<PhotoHeader> header = ReadFrom(data, size);
    if (header) {
        Check(header->width >= 1 && header->height >= 1);
        Check(header->orientation >= 1 && header->orientation <= 8);
        Check(header->format == quillmere::PhotoFormat::Jpeg ||
              (header->orientation == 1 && header->jpegFrame == 0 && header->jpegPrecision == 0));
        const quillmere::Size32 upright = quillmere::UprightSize(*header);
        Check(upright.width >= 1 && upright.height >= 1);
        Check(quillmere::IsDecodable(*header) ==
              (int64_t{header->width} * header->height <= quillmere::kMaxPhotoPixels));
    }
    // A shorter file holds no more of the header: it reads nothing, or the same.
    if (size > 0) {
        const size_t cut = data[size - 1] % 2 == 0 ? size / 2 : size - 1;
        const std::optional<PhotoHeader> shorter = ReadFrom(data, cut);
        Check(!shorter || shorter == header);
    }
    return 0;
}
