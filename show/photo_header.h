// The header of a photo file, read before the file goes to the platform's decoder: those decoders
// crash or take gigabytes on hostile sizes, and under Wine they do not report the EXIF orientation.
// The format is judged by content, as the decoders judge it, so a PNG named ".jpg" is a PNG.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "show/image_cycle.h"

namespace quillmere {

// Random access to a file's bytes, so that a JPEG's segments can be skipped without reading them.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Copies up to out.size() bytes at `offset`; gives how many were copied (fewer at the end).
    virtual size_t ReadAt(uint64_t offset, std::span<uint8_t> out) = 0;
};

class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    uint64_t Size() const override { return m_bytes.size(); }
    size_t ReadAt(uint64_t offset, std::span<uint8_t> out) override;

private:
    std::span<const uint8_t> m_bytes;
};

enum class PhotoFormat : uint8_t { Jpeg, Png, Gif, Bmp };

struct PhotoHeader {
    PhotoFormat format = PhotoFormat::Jpeg;
    int32_t width = 0;
    int32_t height = 0;
    // EXIF orientation 1..8 (JPEG only); 1 when absent or not valid.
    int32_t orientation = 1;
    // The pixels may be transparent: PNG with an alpha channel or tRNS, GIF with a transparent
    // colour, BMP of 32 bits per pixel.
    bool hasAlpha = false;
    // Stored coarse to fine: a progressive JPEG frame, an interlaced PNG or GIF.
    bool progressive = false;
    // JPEG only, 0 otherwise: the frame's SOFn marker code (0xC0..0xCF) and bits per sample, for a
    // caller that would rather not hand 12-bit, lossless or arithmetic-coded frames to a decoder.
    uint8_t jpegFrame = 0;
    uint8_t jpegPrecision = 0;

    bool operator==(const PhotoHeader&) const = default;
};

// The header must lie within this much of the file's start and within this many JPEG markers, PNG
// chunks or GIF blocks; beyond either the file is given up as unreadable.
inline constexpr uint64_t kMaxHeaderScanBytes = uint64_t{64} << 20;
inline constexpr int32_t kMaxHeaderBlocks = 10'000;

inline constexpr int64_t kMaxPhotoPixels = 120'000'000;

// Nothing when the content is none of the four formats or its header cannot be read. A returned
// header always has a width and height of at least 1.
std::optional<PhotoHeader> ReadPhotoHeader(ByteSource& source);

// Whether the decoder may be given the photo: width and height at least 1, at most
// kMaxPhotoPixels pixels in all.
bool IsDecodable(const PhotoHeader& header);

// The size once the EXIF orientation is applied: 5..8 turn the photo a quarter, swapping width
// and height.
Size32 UprightSize(const PhotoHeader& header);

}  // namespace quillmere
