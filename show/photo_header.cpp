#include "show/photo_header.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string_view>

namespace quillmere {

namespace {

constexpr uint32_t kMaxInt32 = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());

uint16_t Be16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[1] << 8 | p[0]);
}
uint32_t Be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

// Reads through a small window, so that walking a header byte by byte costs few source reads. The
// source is not trusted: a read that comes back short is a read that failed.
class Reader {
public:
    explicit Reader(ByteSource& source) : m_source(source), m_size(source.Size()) {}

    uint64_t Size() const { return m_size; }

    // Exactly out.size() bytes at `offset`, or false. Fields are far smaller than the window.
    bool Read(uint64_t offset, std::span<uint8_t> out) {
        if (offset > m_size || out.size() > m_size - offset) {
            return false;
        }
        if (offset >= m_start && offset - m_start <= m_filled &&
            out.size() <= m_filled - (offset - m_start)) {
            Copy(out, m_window.data() + (offset - m_start));
            return true;
        }
        const size_t want =
            static_cast<size_t>(std::min<uint64_t>(m_window.size(), m_size - offset));
        m_start = offset;
        m_filled = std::min(m_source.ReadAt(offset, std::span(m_window.data(), want)), want);
        if (m_filled < out.size()) {
            return false;
        }
        Copy(out, m_window.data());
        return true;
    }

    std::optional<uint8_t> Byte(uint64_t offset) {
        uint8_t b = 0;
        if (!Read(offset, std::span(&b, 1))) {
            return std::nullopt;
        }
        return b;
    }

private:
    static void Copy(std::span<uint8_t> out, const uint8_t* from) {
        if (!out.empty()) {
            std::memcpy(out.data(), from, out.size());
        }
    }

    ByteSource& m_source;
    const uint64_t m_size;
    std::array<uint8_t, 4096> m_window{};
    uint64_t m_start = 0;
    size_t m_filled = 0;
};

// ---- EXIF ----

// The orientation in the TIFF structure of `size` bytes at `base`; 1 when it has none that is
// valid. Only IFD0's first orientation entry counts, and only as one SHORT of 1..8.
int32_t TiffOrientation(Reader& in, uint64_t base, uint64_t size) {
    std::array<uint8_t, 8> head;
    if (size < head.size() || !in.Read(base, head)) {
        return 1;
    }
    bool little = false;
    if (head[0] == 'I' && head[1] == 'I') {
        little = true;
    } else if (!(head[0] == 'M' && head[1] == 'M')) {
        return 1;
    }
    const auto u16 = [little](const uint8_t* p) { return little ? Le16(p) : Be16(p); };
    const auto u32 = [little](const uint8_t* p) { return little ? Le32(p) : Be32(p); };
    if (u16(&head[2]) != 42) {
        return 1;
    }
    const uint64_t ifd = u32(&head[4]);
    std::array<uint8_t, 2> countBytes;
    if (ifd < head.size() || ifd > size || size - ifd < 2 || !in.Read(base + ifd, countBytes)) {
        return 1;
    }
    // A count the segment cannot hold means the directory is garbage.
    const uint64_t count = u16(countBytes.data());
    if (count > (size - ifd - 2) / 12) {
        return 1;
    }
    for (uint64_t i = 0; i < count; ++i) {
        std::array<uint8_t, 12> entry;
        if (!in.Read(base + ifd + 2 + 12 * i, entry)) {
            return 1;
        }
        if (u16(&entry[0]) != 0x0112) {
            continue;
        }
        const uint16_t type = u16(&entry[2]);
        const uint32_t n = u32(&entry[4]);
        const uint16_t value = u16(&entry[8]);
        return type == 3 && n == 1 && value >= 1 && value <= 8 ? value : 1;
    }
    return 1;
}

// ---- JPEG ----

bool IsFrameMarker(uint8_t m) {
    // SOF0..SOF15 but DHT (C4), JPG (C8) and DAC (CC), which share the range.
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

bool IsStandaloneMarker(uint8_t m) {
    return m == 0x01 || (m >= 0xD0 && m <= 0xD7);
}

std::optional<PhotoHeader> ReadJpeg(Reader& in) {
    PhotoHeader h;
    h.format = PhotoFormat::Jpeg;
    bool exifSeen = false;
    uint64_t pos = 2;
    for (int32_t markers = 0;;) {
        // The next marker: FF, any number of FF fill bytes, a code other than 00. Other bytes
        // before it are skipped, as the decoders skip them.
        uint8_t marker = 0;
        while (marker == 0) {
            if (pos >= kMaxHeaderScanBytes) {
                return std::nullopt;
            }
            const std::optional<uint8_t> b = in.Byte(pos++);
            if (!b) {
                return std::nullopt;
            }
            if (*b != 0xFF) {
                continue;
            }
            const std::optional<uint8_t> code = in.Byte(pos);
            if (!code) {
                return std::nullopt;
            }
            if (*code != 0xFF) {
                marker = *code;
                ++pos;
            }
        }
        if (++markers > kMaxHeaderBlocks) {
            return std::nullopt;
        }
        if (IsStandaloneMarker(marker)) {
            continue;
        }
        // A second SOI, the end of the image, or scan data before any frame header.
        if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA) {
            return std::nullopt;
        }
        std::array<uint8_t, 2> lengthBytes;
        if (!in.Read(pos, lengthBytes)) {
            return std::nullopt;
        }
        const uint16_t length = Be16(lengthBytes.data());
        if (length < 2 || length > in.Size() - pos) {
            return std::nullopt;
        }
        const uint64_t data = pos + 2;
        const uint64_t dataSize = length - 2u;
        if (IsFrameMarker(marker)) {
            std::array<uint8_t, 6> sof;
            if (dataSize < sof.size() || !in.Read(data, sof)) {
                return std::nullopt;
            }
            const uint8_t components = sof[5];
            // A height of 0 is given later by a DNL marker, past what a header reader reads.
            h.height = Be16(&sof[1]);
            h.width = Be16(&sof[3]);
            if (components == 0 || dataSize != 6u + 3u * components || h.width == 0 ||
                h.height == 0) {
                return std::nullopt;
            }
            h.jpegFrame = marker;
            h.jpegPrecision = sof[0];
            h.progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
            return h;
        }
        static constexpr uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
        std::array<uint8_t, 6> id;
        if (marker == 0xE1 && !exifSeen && dataSize >= id.size() && in.Read(data, id) &&
            std::equal(id.begin(), id.end(), kExif)) {
            exifSeen = true;
            h.orientation = TiffOrientation(in, data + id.size(), dataSize - id.size());
        }
        pos = data + dataSize;
    }
}

// ---- PNG ----

bool IsPngColourAndDepth(uint8_t colour, uint8_t depth) {
    switch (colour) {
        case 0:
            return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        case 3:
            return depth == 1 || depth == 2 || depth == 4 || depth == 8;
        case 2:
        case 4:
        case 6:
            return depth == 8 || depth == 16;
        default:
            return false;
    }
}

// The header is IHDR, then the chunks up to the first IDAT, which may carry tRNS.
std::optional<PhotoHeader> ReadPng(Reader& in) {
    std::array<uint8_t, 8 + 8 + 13> head;  // signature, IHDR length and type, IHDR data
    if (!in.Read(0, head)) {
        return std::nullopt;
    }
    const uint8_t* ihdr = &head[16];
    if (Be32(&head[8]) != 13 || std::memcmp(&head[12], "IHDR", 4) != 0) {
        return std::nullopt;
    }
    const uint32_t width = Be32(&ihdr[0]);
    const uint32_t height = Be32(&ihdr[4]);
    const uint8_t depth = ihdr[8];
    const uint8_t colour = ihdr[9];
    if (width == 0 || height == 0 || width > kMaxInt32 || height > kMaxInt32 ||
        !IsPngColourAndDepth(colour, depth) || ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] > 1) {
        return std::nullopt;
    }
    PhotoHeader h;
    h.format = PhotoFormat::Png;
    h.width = static_cast<int32_t>(width);
    h.height = static_cast<int32_t>(height);
    h.hasAlpha = colour == 4 || colour == 6;
    h.progressive = ihdr[12] == 1;

    uint64_t pos = head.size() + 4;  // past IHDR's CRC
    for (int32_t chunks = 0; chunks < kMaxHeaderBlocks && pos < kMaxHeaderScanBytes; ++chunks) {
        std::array<uint8_t, 8> chunk;
        if (!in.Read(pos, chunk)) {
            return std::nullopt;
        }
        const uint32_t length = Be32(&chunk[0]);
        if (length > kMaxInt32) {
            return std::nullopt;
        }
        if (std::memcmp(&chunk[4], "IDAT", 4) == 0) {
            return h;
        }
        if (std::memcmp(&chunk[4], "IEND", 4) == 0) {
            return std::nullopt;
        }
        if (std::memcmp(&chunk[4], "tRNS", 4) == 0) {
            h.hasAlpha = true;
        }
        pos += uint64_t{12} + length;
    }
    return std::nullopt;
}

// ---- GIF ----

// The logical screen, widened to the first frame when that reaches beyond it: the decoders size
// their buffers by the frame. The first frame's graphic control block says whether it has a
// transparent colour.
std::optional<PhotoHeader> ReadGif(Reader& in) {
    std::array<uint8_t, 13> head;  // signature, logical screen descriptor
    if (!in.Read(0, head)) {
        return std::nullopt;
    }
    PhotoHeader h;
    h.format = PhotoFormat::Gif;
    h.width = Le16(&head[6]);
    h.height = Le16(&head[8]);
    uint64_t pos = head.size();
    if ((head[10] & 0x80) != 0) {
        pos += 3u << ((head[10] & 7) + 1);
    }
    for (int32_t blocks = 0; blocks < kMaxHeaderBlocks && pos < kMaxHeaderScanBytes; ++blocks) {
        const std::optional<uint8_t> kind = in.Byte(pos);
        if (!kind) {
            return std::nullopt;
        }
        if (*kind == 0x2C) {
            std::array<uint8_t, 9> frame;  // left, top, width, height, flags
            if (!in.Read(pos + 1, frame)) {
                return std::nullopt;
            }
            h.width = std::max<int32_t>(h.width, Le16(&frame[0]) + Le16(&frame[4]));
            h.height = std::max<int32_t>(h.height, Le16(&frame[2]) + Le16(&frame[6]));
            h.progressive = (frame[8] & 0x40) != 0;
            if (h.width == 0 || h.height == 0) {
                return std::nullopt;
            }
            return h;
        }
        if (*kind != 0x21) {
            return std::nullopt;  // the trailer, or garbage, before any frame
        }
        const std::optional<uint8_t> label = in.Byte(pos + 1);
        if (!label) {
            return std::nullopt;
        }
        pos += 2;
        bool first = true;
        for (;;) {
            if (pos >= kMaxHeaderScanBytes) {
                return std::nullopt;
            }
            const std::optional<uint8_t> size = in.Byte(pos);
            if (!size) {
                return std::nullopt;
            }
            if (*size == 0) {
                ++pos;
                break;
            }
            if (first && *label == 0xF9 && *size >= 4) {
                const std::optional<uint8_t> flags = in.Byte(pos + 1);
                if (!flags) {
                    return std::nullopt;
                }
                h.hasAlpha = (*flags & 1) != 0;
            }
            first = false;
            pos += 1u + *size;
        }
    }
    return std::nullopt;
}

// ---- BMP ----

std::optional<PhotoHeader> ReadBmp(Reader& in) {
    std::array<uint8_t, 14 + 4> head;  // file header, DIB header size
    if (!in.Read(0, head)) {
        return std::nullopt;
    }
    const uint32_t dibSize = Le32(&head[14]);
    PhotoHeader h;
    h.format = PhotoFormat::Bmp;
    uint16_t bitCount = 0;
    if (dibSize == 12) {
        // The OS/2 core header: unsigned 16-bit sizes, always bottom-up.
        std::array<uint8_t, 8> core;
        if (!in.Read(head.size(), core)) {
            return std::nullopt;
        }
        h.width = Le16(&core[0]);
        h.height = Le16(&core[2]);
        bitCount = Le16(&core[6]);
    } else if (dibSize >= 40) {
        std::array<uint8_t, 12> info;
        if (!in.Read(head.size(), info)) {
            return std::nullopt;
        }
        const auto width = static_cast<int32_t>(Le32(&info[0]));
        const auto height = static_cast<int32_t>(Le32(&info[4]));
        // A negative height stores the rows top-down; the most negative one has no size.
        if (width < 0 || height == std::numeric_limits<int32_t>::min()) {
            return std::nullopt;
        }
        h.width = width;
        h.height = height < 0 ? -height : height;
        bitCount = Le16(&info[10]);
    } else {
        return std::nullopt;
    }
    if (h.width == 0 || h.height == 0) {
        return std::nullopt;
    }
    h.hasAlpha = bitCount == 32;
    return h;
}

}  // namespace

size_t MemoryByteSource::ReadAt(uint64_t offset, std::span<uint8_t> out) {
    if (offset >= m_bytes.size() || out.empty()) {
        return 0;
    }
    const size_t n = static_cast<size_t>(std::min<uint64_t>(out.size(), m_bytes.size() - offset));
    std::memcpy(out.data(), m_bytes.data() + offset, n);
    return n;
}

std::optional<PhotoHeader> ReadPhotoHeader(ByteSource& source) {
    Reader in(source);
    std::array<uint8_t, 8> magic{};
    const size_t have = static_cast<size_t>(std::min<uint64_t>(magic.size(), in.Size()));
    if (!in.Read(0, std::span(magic.data(), have))) {
        return std::nullopt;
    }
    const auto startsWith = [&](std::string_view s) {
        return s.size() <= have && std::memcmp(magic.data(), s.data(), s.size()) == 0;
    };
    if (startsWith("\xFF\xD8")) {
        return ReadJpeg(in);
    }
    if (startsWith("\x89PNG\r\n\x1A\n")) {
        return ReadPng(in);
    }
    if (startsWith("GIF87a") || startsWith("GIF89a")) {
        return ReadGif(in);
    }
    if (startsWith("BM")) {
        return ReadBmp(in);
    }
    return std::nullopt;
}

bool IsDecodable(const PhotoHeader& header) {
    return header.width >= 1 && header.height >= 1 &&
           int64_t{header.width} * header.height <= kMaxPhotoPixels;
}

Size32 UprightSize(const PhotoHeader& header) {
    if (header.orientation >= 5 && header.orientation <= 8) {
        return {header.height, header.width};
    }
    return {header.width, header.height};
}

}  // namespace quillmere
