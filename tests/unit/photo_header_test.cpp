#include "show/photo_header.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace quillmere {

void PrintTo(const PhotoHeader& h, std::ostream* os) {
    static const char* const kNames[] = {"Jpeg", "Png", "Gif", "Bmp"};
    *os << kNames[static_cast<int>(h.format)] << ' ' << h.width << 'x' << h.height
        << " orientation " << h.orientation << (h.hasAlpha ? " alpha" : "")
        << (h.progressive ? " progressive" : "") << " frame " << int{h.jpegFrame} << '/'
        << int{h.jpegPrecision};
}

namespace {

using Bytes = std::vector<uint8_t>;

// Builds test files a field at a time.
class Builder {
public:
    Builder& U8(uint32_t v) {
        m_bytes.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    Builder& Be16(uint32_t v) { return U8(v >> 8).U8(v); }
    Builder& Le16(uint32_t v) { return U8(v).U8(v >> 8); }
    Builder& Be32(uint32_t v) { return Be16(v >> 16).Be16(v); }
    Builder& Le32(uint32_t v) { return Le16(v).Le16(v >> 16); }
    Builder& U16(uint32_t v, bool little) { return little ? Le16(v) : Be16(v); }
    Builder& U32(uint32_t v, bool little) { return little ? Le32(v) : Be32(v); }
    Builder& Str(std::string_view s) {
        m_bytes.insert(m_bytes.end(), s.begin(), s.end());
        return *this;
    }
    Builder& Fill(size_t n, uint8_t v) {
        m_bytes.insert(m_bytes.end(), n, v);
        return *this;
    }
    Builder& Add(const Bytes& b) {
        m_bytes.insert(m_bytes.end(), b.begin(), b.end());
        return *this;
    }
    // A JPEG marker segment: FF, the code, the length (which counts itself), the data.
    Builder& Segment(uint8_t marker, const Bytes& data) {
        return U8(0xFF).U8(marker).Be16(static_cast<uint32_t>(data.size() + 2)).Add(data);
    }

    Bytes Take() { return std::move(m_bytes); }
    operator Bytes() const { return m_bytes; }

private:
    Bytes m_bytes;
};

Bytes Sof(uint32_t width, uint32_t height, uint8_t precision = 8, uint8_t components = 3) {
    Builder b;
    b.U8(precision).Be16(height).Be16(width).U8(components);
    for (uint8_t c = 1; c <= components; ++c) {
        b.U8(c).U8(c == 1 ? 0x22 : 0x11).U8(c == 1 ? 0 : 1);
    }
    return b;
}

struct ExifEntry {
    uint16_t tag = 0x0112;
    uint16_t type = 3;
    uint32_t count = 1;
    uint32_t value = 1;
};

// An APP1 "Exif" payload: a TIFF header and IFD0 with the given entries, none after it.
Bytes Exif(const std::vector<ExifEntry>& entries, bool little = true) {
    Builder b;
    b.Str(std::string_view("Exif\0\0", 6)).Str(little ? "II" : "MM").U16(42, little).U32(8, little);
    b.U16(static_cast<uint32_t>(entries.size()), little);
    for (const ExifEntry& e : entries) {
        b.U16(e.tag, little).U16(e.type, little).U32(e.count, little);
        // A SHORT value sits in the first two bytes of the field, whatever the byte order.
        if (e.type == 3) {
            b.U16(e.value, little).U16(0, little);
        } else {
            b.U32(e.value, little);
        }
    }
    return b.U32(0, little);
}

Bytes Orientation(uint32_t value, bool little = true) {
    return Exif({{0x0100, 4, 1, 640}, {0x0112, 3, 1, value}, {0x011A, 5, 1, 26}}, little);
}

const Bytes kJfif = Builder().Str(std::string_view("JFIF\0\1\1\0\0\1\0\1\0\0", 14));
const Bytes kTable = Builder().U8(0).Fill(64, 1);

// SOI, the given segments, a frame header, a table, a scan and EOI.
Bytes Jpeg(const std::vector<std::pair<uint8_t, Bytes>>& before, uint8_t frame, const Bytes& sof) {
    Builder b;
    b.U8(0xFF).U8(0xD8);
    for (const auto& [marker, data] : before) {
        b.Segment(marker, data);
    }
    b.Segment(frame, sof).Segment(0xC4, Builder().U8(0).Fill(16, 0).Fill(1, 0));
    b.Segment(0xDA, Builder().U8(1).U8(1).U8(0).U8(0).U8(63).U8(0)).Str("\x12\x34\xFF").U8(0);
    return b.U8(0xFF).U8(0xD9).Take();
}

Bytes SimpleJpeg(uint32_t width, uint32_t height, uint8_t frame = 0xC0) {
    return Jpeg({{0xE0, kJfif}, {0xDB, kTable}}, frame, Sof(width, height));
}

Bytes Png(uint32_t width, uint32_t height, uint8_t colour = 2, uint8_t depth = 8,
          uint8_t interlace = 0, const std::vector<std::string>& chunks = {}) {
    Builder b;
    b.Str("\x89PNG\r\n\x1A\n").Be32(13).Str("IHDR").Be32(width).Be32(height);
    b.U8(depth).U8(colour).U8(0).U8(0).U8(interlace).Be32(0x12345678);
    for (const std::string& type : chunks) {
        b.Be32(3).Str(type).Str("abc").Be32(0);
    }
    b.Be32(2).Str("IDAT").Str("xy").Be32(0);
    return b.Be32(0).Str("IEND").Be32(0xAE426082).Take();
}

// A GIF with a global colour table of 4 entries, an optional graphic control block, a comment
// and one frame at (left, top).
Bytes Gif(uint32_t width, uint32_t height, bool transparent = false, bool interlaced = false,
          uint32_t frameWidth = 0, uint32_t frameHeight = 0, uint32_t left = 0, uint32_t top = 0) {
    Builder b;
    b.Str("GIF89a").Le16(width).Le16(height).U8(0x81).U8(0).U8(0).Fill(12, 0x40);
    if (transparent) {
        b.U8(0x21).U8(0xF9).U8(4).U8(1).Le16(0).U8(3).U8(0);
    }
    b.U8(0x21).U8(0xFE).U8(5).Str("hello").U8(3).Str("abc").U8(0);
    b.U8(0x2C).Le16(left).Le16(top).Le16(frameWidth == 0 ? width : frameWidth);
    b.Le16(frameHeight == 0 ? height : frameHeight).U8(interlaced ? 0x40 : 0);
    return b.U8(2).U8(2).U8(0x4C).U8(0x01).U8(0).U8(0x3B).Take();
}

Bytes BmpInfo(int32_t width, int32_t height, uint16_t bits = 24, uint32_t dibSize = 40) {
    Builder b;
    b.Str("BM").Le32(0).Le32(0).Le32(14 + dibSize);
    b.Le32(dibSize).Le32(static_cast<uint32_t>(width)).Le32(static_cast<uint32_t>(height));
    b.Le16(1).Le16(bits).Le32(0).Le32(0).Le32(2835).Le32(2835).Le32(0).Le32(0);
    b.Fill(dibSize - 40, 0);
    return b.Fill(8, 0x7F).Take();
}

Bytes BmpCore(uint32_t width, uint32_t height, uint16_t bits = 24) {
    Builder b;
    b.Str("BM").Le32(0).Le32(0).Le32(26).Le32(12).Le16(width).Le16(height).Le16(1).Le16(bits);
    return b.Fill(8, 0x7F).Take();
}

std::optional<PhotoHeader> Read(const Bytes& bytes) {
    MemoryByteSource source(bytes);
    return ReadPhotoHeader(source);
}

PhotoHeader Expect(PhotoFormat format, int32_t width, int32_t height) {
    PhotoHeader h;
    h.format = format;
    h.width = width;
    h.height = height;
    return h;
}

PhotoHeader ExpectJpeg(int32_t width, int32_t height, uint8_t frame = 0xC0, int32_t orientation = 1,
                       uint8_t precision = 8) {
    PhotoHeader h = Expect(PhotoFormat::Jpeg, width, height);
    h.orientation = orientation;
    h.jpegFrame = frame;
    h.jpegPrecision = precision;
    h.progressive = frame == 0xC2 || frame == 0xC6 || frame == 0xCA || frame == 0xCE;
    return h;
}

// Counts what the reader asks for, to show that skipped segments are not read.
class CountingSource final : public ByteSource {
public:
    explicit CountingSource(ByteSource& inner) : m_inner(inner) {}
    uint64_t Size() const override { return m_inner.Size(); }
    size_t ReadAt(uint64_t offset, std::span<uint8_t> out) override {
        ++reads;
        const size_t n = m_inner.ReadAt(offset, out);
        copied += n;
        return n;
    }

    int reads = 0;
    uint64_t copied = 0;

private:
    ByteSource& m_inner;
};

// A file too large to hold: every byte is computed from its offset.
class ComputedSource final : public ByteSource {
public:
    ComputedSource(uint64_t size, std::function<uint8_t(uint64_t)> byteAt)
        : m_size(size), m_byteAt(std::move(byteAt)) {}
    uint64_t Size() const override { return m_size; }
    size_t ReadAt(uint64_t offset, std::span<uint8_t> out) override {
        size_t n = 0;
        for (; n < out.size() && offset + n < m_size; ++n) {
            out[n] = m_byteAt(offset + n);
        }
        copied += n;
        return n;
    }

    uint64_t copied = 0;

private:
    uint64_t m_size;
    std::function<uint8_t(uint64_t)> m_byteAt;
};

// ---- JPEG ----

TEST(PhotoHeaderJpeg, BaselineSize) {
    EXPECT_EQ(Read(SimpleJpeg(640, 480)), ExpectJpeg(640, 480));
}

TEST(PhotoHeaderJpeg, ProgressiveSize) {
    const auto h = Read(SimpleJpeg(4000, 3000, 0xC2));
    EXPECT_EQ(h, ExpectJpeg(4000, 3000, 0xC2));
    ASSERT_TRUE(h);
    EXPECT_TRUE(h->progressive);
}

TEST(PhotoHeaderJpeg, EveryFrameKindIsReadAndTheTablesInTheRangeAreSkipped) {
    for (uint32_t m = 0xC0; m <= 0xCF; ++m) {
        SCOPED_TRACE(m);
        const auto marker = static_cast<uint8_t>(m);
        if (m == 0xC4 || m == 0xC8 || m == 0xCC) {
            // DHT, JPG and DAC are segments to pass over, not frame headers.
            const Bytes bytes = Jpeg({{marker, Sof(9, 9)}}, 0xC1, Sof(30, 20));
            EXPECT_EQ(Read(bytes), ExpectJpeg(30, 20, 0xC1));
        } else {
            EXPECT_EQ(Read(SimpleJpeg(30, 20, marker)), ExpectJpeg(30, 20, marker));
        }
    }
}

TEST(PhotoHeaderJpeg, TwelveBitAndArithmeticFramesAreReadableAndSaySo) {
    EXPECT_EQ(Read(Jpeg({}, 0xC1, Sof(800, 600, 12))), ExpectJpeg(800, 600, 0xC1, 1, 12));
    EXPECT_EQ(Read(Jpeg({}, 0xC9, Sof(800, 600))), ExpectJpeg(800, 600, 0xC9));
    EXPECT_EQ(Read(Jpeg({}, 0xCA, Sof(800, 600, 12))), ExpectJpeg(800, 600, 0xCA, 1, 12));
    EXPECT_EQ(Read(Jpeg({}, 0xC3, Sof(64, 64, 16, 1))), ExpectJpeg(64, 64, 0xC3, 1, 16));
}

TEST(PhotoHeaderJpeg, OrientationInBothByteOrders) {
    for (const bool little : {true, false}) {
        for (uint32_t o = 1; o <= 8; ++o) {
            SCOPED_TRACE(testing::Message() << (little ? "II " : "MM ") << o);
            const Bytes bytes =
                Jpeg({{0xE0, kJfif}, {0xE1, Orientation(o, little)}}, 0xC0, Sof(640, 480));
            EXPECT_EQ(Read(bytes), ExpectJpeg(640, 480, 0xC0, static_cast<int32_t>(o)));
        }
    }
}

struct ExifCase {
    const char* label;
    Bytes app1;
    int32_t orientation;
};

class PhotoHeaderExif : public testing::TestWithParam<ExifCase> {};

TEST_P(PhotoHeaderExif, GarbageGivesOrientationOneAndTheSizeStillReads) {
    const ExifCase& c = GetParam();
    for (const bool withJfif : {false, true}) {
        std::vector<std::pair<uint8_t, Bytes>> segments = {{0xE1, c.app1}};
        if (withJfif) {
            segments.insert(segments.begin(), {0xE0, kJfif});
        }
        EXPECT_EQ(Read(Jpeg(segments, 0xC0, Sof(640, 480))),
                  ExpectJpeg(640, 480, 0xC0, c.orientation))
            << c.label;
    }
}

Bytes Patched(Bytes b, size_t at, std::initializer_list<uint8_t> with) {
    std::copy(with.begin(), with.end(), b.begin() + static_cast<ptrdiff_t>(at));
    return b;
}

Bytes Truncated(Bytes b, size_t size) {
    b.resize(size);
    return b;
}

// Offsets in an Exif() payload: 6 "Exif\0\0", then the TIFF header (byte order 6, magic 8, IFD0
// offset 10), the entry count at 14, the entries from 16.
INSTANTIATE_TEST_SUITE_P(
    Cases, PhotoHeaderExif,
    testing::Values(
        ExifCase{"valid, for reference", Exif({{0x0112, 3, 1, 6}}), 6},
        ExifCase{"found after other entries", Exif({{0x010F, 2, 4, 0}, {0x0112, 3, 1, 3}}), 3},
        ExifCase{"type LONG", Exif({{0x0112, 4, 1, 6}}), 1},
        ExifCase{"type BYTE", Exif({{0x0112, 1, 1, 6}}), 1},
        ExifCase{"count 2", Exif({{0x0112, 3, 2, 6}}), 1},
        ExifCase{"count 0", Exif({{0x0112, 3, 0, 6}}), 1},
        ExifCase{"value 0", Exif({{0x0112, 3, 1, 0}}), 1},
        ExifCase{"value 9", Exif({{0x0112, 3, 1, 9}}), 1},
        ExifCase{"value 0xFFFF", Exif({{0x0112, 3, 1, 0xFFFF}}), 1},
        ExifCase{"first of two entries counts", Exif({{0x0112, 3, 1, 9}, {0x0112, 3, 1, 6}}), 1},
        ExifCase{"no orientation entry", Exif({{0x0100, 4, 1, 640}}), 1},
        ExifCase{"no entries", Exif({}), 1},
        ExifCase{"byte order IM", Patched(Orientation(6), 6, {'I', 'M'}), 1},
        ExifCase{"magic 43", Patched(Orientation(6), 8, {43, 0}), 1},
        ExifCase{"magic in the other order", Patched(Orientation(6), 8, {0, 42}), 1},
        ExifCase{"IFD0 inside the TIFF header", Patched(Orientation(6), 10, {4, 0, 0, 0}), 1},
        ExifCase{"IFD0 past the segment", Patched(Orientation(6), 10, {0, 1, 0, 0}), 1},
        ExifCase{"IFD0 at 4 GB", Patched(Orientation(6), 10, {0xFF, 0xFF, 0xFF, 0xFF}), 1},
        ExifCase{"entry count 0xFFFF", Patched(Orientation(6), 14, {0xFF, 0xFF}), 1},
        ExifCase{"entry count one too many", Patched(Exif({{0x0112, 3, 1, 6}}), 14, {2, 0}), 1},
        ExifCase{"entries cut short", Truncated(Orientation(6), 16 + 12 + 5), 1},
        ExifCase{"TIFF header cut short", Truncated(Orientation(6), 6 + 7), 1},
        ExifCase{"identifier only", Truncated(Orientation(6), 6), 1},
        ExifCase{"identifier cut short", Truncated(Orientation(6), 4), 1},
        ExifCase{"empty", Bytes{}, 1},
        ExifCase{"not Exif\\0\\0", Patched(Orientation(6), 5, {1}), 1},
        ExifCase{
            "XMP",
            Builder()
                .Str(std::string_view("http://ns.adobe.com/xap/1.0/\0", 29))
                .Str("<x:xmpmeta tiff:Orientation=\"6\"/>"),
            1}));

TEST(PhotoHeaderJpeg, OnlyTheFirstExifSegmentCounts) {
    const Bytes xmp = Builder().Str(std::string_view("http://ns.adobe.com/xap/1.0/\0", 29));
    EXPECT_EQ(Read(Jpeg({{0xE1, xmp}, {0xE1, Orientation(6)}}, 0xC0, Sof(8, 8))),
              ExpectJpeg(8, 8, 0xC0, 6));
    EXPECT_EQ(Read(Jpeg({{0xE1, Orientation(3)}, {0xE1, Orientation(6)}}, 0xC0, Sof(8, 8))),
              ExpectJpeg(8, 8, 0xC0, 3));
    EXPECT_EQ(Read(Jpeg({{0xE1, Orientation(0)}, {0xE1, Orientation(6)}}, 0xC0, Sof(8, 8))),
              ExpectJpeg(8, 8, 0xC0, 1));
    // Exif in another application segment is not Exif.
    EXPECT_EQ(Read(Jpeg({{0xE2, Orientation(6)}}, 0xC0, Sof(8, 8))), ExpectJpeg(8, 8));
    // After the frame header, it is not looked for.
    Bytes late = SimpleJpeg(8, 8);
    const Bytes app1 = Builder().Segment(0xE1, Orientation(6));
    late.insert(late.end() - 2, app1.begin(), app1.end());
    EXPECT_EQ(Read(late), ExpectJpeg(8, 8));
}

TEST(PhotoHeaderJpeg, SegmentsFillBytesAndStrayBytesBeforeTheFrame) {
    Builder b;
    b.U8(0xFF).U8(0xD8).Segment(0xE0, kJfif).Segment(0xE2, Bytes(500, 0xFF));
    b.Fill(5, 0xFF).Segment(0xFE, Builder().Str("comment")).Segment(0xDB, kTable);
    b.U8(0xFF).U8(0xD3).U8(0xFF).U8(0x01);     // standalone markers: RST3, TEM
    b.Str("junk").U8(0xFF).U8(0x00).U8(0x00);  // stray bytes and a stuffed zero
    b.Segment(0xDD, Builder().Be16(0)).Segment(0xEF, {}).Segment(0xF7, Bytes(3, 0));
    b.Fill(3, 0xFF).Segment(0xC0, Sof(1024, 768)).Segment(0xDA, Bytes(8, 0)).U8(0xFF).U8(0xD9);
    EXPECT_EQ(Read(b), ExpectJpeg(1024, 768));
}

TEST(PhotoHeaderJpeg, LargeSegmentsAreSkippedWithoutBeingRead) {
    // An ICC profile of over 70 KB in two APP2 segments, as cameras write them.
    Builder b;
    b.U8(0xFF).U8(0xD8).Segment(0xE0, kJfif).Segment(0xE1, Orientation(8));
    b.Segment(0xE2, Bytes(65533, 0x11)).Segment(0xE2, Bytes(7000, 0x22));
    b.Segment(0xC0, Sof(6000, 4000)).Segment(0xDA, Bytes(8, 0)).Fill(100000, 0x33);
    const Bytes bytes = b.Take();
    MemoryByteSource memory(bytes);
    CountingSource source(memory);
    EXPECT_EQ(ReadPhotoHeader(source), ExpectJpeg(6000, 4000, 0xC0, 8));
    EXPECT_LE(source.copied, 3 * 4096u);
    EXPECT_LE(source.reads, 3);
}

struct FailCase {
    const char* label;
    Bytes bytes;
};

class PhotoHeaderUnreadable : public testing::TestWithParam<FailCase> {};

TEST_P(PhotoHeaderUnreadable, GivesNothing) {
    EXPECT_EQ(Read(GetParam().bytes), std::nullopt) << GetParam().label;
}

Bytes Soi() {
    return Builder().U8(0xFF).U8(0xD8);
}

INSTANTIATE_TEST_SUITE_P(
    Jpeg, PhotoHeaderUnreadable,
    testing::Values(
        FailCase{"SOI only", Soi()}, FailCase{"SOI and FF", Builder().Add(Soi()).U8(0xFF)},
        FailCase{"scan before the frame",
                 Builder().Add(Soi()).Segment(0xDA, Bytes(8, 0)).Segment(0xC0, Sof(8, 8))},
        FailCase{"end of image before the frame",
                 Builder().Add(Soi()).U8(0xFF).U8(0xD9).Segment(0xC0, Sof(8, 8))},
        FailCase{"second SOI", Builder().Add(Soi()).Add(Soi()).Segment(0xC0, Sof(8, 8))},
        FailCase{"segment length 0",
                 Builder().Add(Soi()).U8(0xFF).U8(0xE0).Be16(0).Segment(0xC0, Sof(8, 8))},
        FailCase{"segment length 1",
                 Builder().Add(Soi()).U8(0xFF).U8(0xE0).Be16(1).Segment(0xC0, Sof(8, 8))},
        FailCase{"segment past the end",
                 Builder().Add(Soi()).U8(0xFF).U8(0xE1).Be16(5000).Add(Orientation(6))},
        FailCase{"frame past the end",
                 Truncated(Builder().Add(Soi()).Segment(0xC0, Sof(8, 8)), 2 + 4 + 6 + 8)},
        FailCase{"height 0: defined by DNL", Jpeg({}, 0xC0, Sof(640, 0))},
        FailCase{"width 0", Jpeg({}, 0xC2, Sof(0, 480))},
        FailCase{"no components", Jpeg({}, 0xC0, Sof(640, 480, 8, 0))},
        FailCase{"frame length disagrees with components",
                 Jpeg({}, 0xC0, Patched(Sof(640, 480), 5, {4}))},
        FailCase{"frame too short", Jpeg({}, 0xC0, Truncated(Sof(640, 480), 5))},
        FailCase{"only fill bytes", Builder().Add(Soi()).Fill(1000, 0xFF)},
        FailCase{"only stray bytes", Builder().Add(Soi()).Fill(1000, 0x00)},
        FailCase{"EOI at once", Builder().Add(Soi()).U8(0xFF).U8(0xD9)},
        FailCase{"not SOI", Builder().U8(0xFF).U8(0xD9).Segment(0xC0, Sof(8, 8))}));

TEST(PhotoHeaderJpeg, GivesUpAfterTenThousandMarkers) {
    for (const int32_t before : {kMaxHeaderBlocks - 1, kMaxHeaderBlocks}) {
        SCOPED_TRACE(before);
        Builder b;
        b.Add(Soi());
        for (int32_t i = 0; i < before; ++i) {
            // Alternately a bare restart marker and an empty comment.
            if (i % 2 == 0) {
                b.U8(0xFF).U8(0xD0);
            } else {
                b.Segment(0xFE, {});
            }
        }
        b.Segment(0xC0, Sof(8, 8));
        EXPECT_EQ(Read(b).has_value(), before < kMaxHeaderBlocks);
    }
}

TEST(PhotoHeaderJpeg, GivesUpBeyondSixtyFourMebibytes) {
    // Full-size comment segments, with the frame header after the first `count` of them.
    constexpr uint64_t kStride = 65537;
    const Bytes tail = Builder().Segment(0xC0, Sof(8, 8));
    for (const uint64_t count :
         {kMaxHeaderScanBytes / kStride - 1, kMaxHeaderScanBytes / kStride + 1}) {
        SCOPED_TRACE(count);
        const uint64_t end = 2 + count * kStride;
        ComputedSource source(end + tail.size() + 100, [&](uint64_t at) -> uint8_t {
            if (at < 2) {
                return at == 0 ? 0xFF : 0xD8;
            }
            if (at >= end) {
                return at - end < tail.size() ? tail[at - end] : 0;
            }
            const uint64_t in = (at - 2) % kStride;
            return in == 1 ? 0xFE : 0xFF;  // FF FE FF FF: a comment of 65533 bytes
        });
        EXPECT_EQ(ReadPhotoHeader(source).has_value(), end < kMaxHeaderScanBytes);
        EXPECT_LT(source.copied, count * 4096 + 8192);
    }
}

TEST(PhotoHeaderJpeg, EveryTruncationFailsUntilTheFrameHeaderIsWhole) {
    Builder b;
    b.Add(Soi()).Segment(0xE0, kJfif).Segment(0xE1, Orientation(6, false));
    b.Segment(0xDB, kTable).U8(0xFF);
    const size_t frameEnd = Bytes(b).size() + 1 + 2 + Sof(320, 200).size();
    const Bytes full =
        Jpeg({{0xE0, kJfif}, {0xE1, Orientation(6, false)}, {0xDB, kTable}}, 0xC2, Sof(320, 200));
    const auto expected = ExpectJpeg(320, 200, 0xC2, 6);
    ASSERT_EQ(Read(full), expected);
    for (size_t size = 0; size <= full.size(); ++size) {
        SCOPED_TRACE(size);
        // An exact-size copy, so that a read past its end is caught.
        const Bytes prefix(full.begin(), full.begin() + static_cast<ptrdiff_t>(size));
        const auto h = Read(prefix);
        if (size < frameEnd) {
            EXPECT_EQ(h, std::nullopt);
        } else {
            EXPECT_EQ(h, expected);
        }
    }
}

// ---- PNG, GIF, BMP ----

TEST(PhotoHeaderPng, SizeAlphaAndInterlace) {
    EXPECT_EQ(Read(Png(800, 600)), Expect(PhotoFormat::Png, 800, 600));
    PhotoHeader alpha = Expect(PhotoFormat::Png, 16, 9);
    alpha.hasAlpha = true;
    EXPECT_EQ(Read(Png(16, 9, 6)), alpha);
    EXPECT_EQ(Read(Png(16, 9, 6, 16)), alpha);
    EXPECT_EQ(Read(Png(16, 9, 4)), alpha);
    EXPECT_EQ(Read(Png(16, 9, 3, 8, 0, {"PLTE", "tRNS"})), alpha);
    EXPECT_EQ(Read(Png(16, 9, 0, 16, 0, {"gAMA", "tRNS"})), alpha);
    EXPECT_EQ(Read(Png(16, 9, 3, 4, 0, {"PLTE", "tEXt"})), Expect(PhotoFormat::Png, 16, 9));
    PhotoHeader interlaced = Expect(PhotoFormat::Png, 5, 7);
    interlaced.progressive = true;
    EXPECT_EQ(Read(Png(5, 7, 0, 1, 1)), interlaced);
    // tRNS after the image data is not looked for.
    Bytes late = Png(16, 9);
    const Bytes trns = Builder().Be32(1).Str("tRNS").U8(0).Be32(0);
    late.insert(late.end() - 12, trns.begin(), trns.end());
    EXPECT_EQ(Read(late), Expect(PhotoFormat::Png, 16, 9));
}

TEST(PhotoHeaderPng, LargestSizeIsReadableButNotDecodable) {
    const auto h = Read(Png(0x7FFFFFFF, 1));
    ASSERT_EQ(h, Expect(PhotoFormat::Png, 0x7FFFFFFF, 1));
    EXPECT_FALSE(IsDecodable(*h));
}

INSTANTIATE_TEST_SUITE_P(
    Png, PhotoHeaderUnreadable,
    testing::Values(
        FailCase{"signature only", Builder().Str("\x89PNG\r\n\x1A\n")},
        FailCase{"signature damaged", Patched(Png(8, 8), 4, {'\r', '\r'})},
        FailCase{"width 0", Png(0, 8)}, FailCase{"height 0", Png(8, 0)},
        FailCase{"width 2^31", Png(0x80000000u, 8)}, FailCase{"height 2^32-1", Png(8, 0xFFFFFFFFu)},
        FailCase{"colour type 1", Png(8, 8, 1)}, FailCase{"colour type 7", Png(8, 8, 7)},
        FailCase{"RGB of 4 bits", Png(8, 8, 2, 4)},
        FailCase{"palette of 16 bits", Png(8, 8, 3, 16)},
        FailCase{"grey of 3 bits", Png(8, 8, 0, 3)},
        FailCase{"compression 1", Patched(Png(8, 8), 26, {1})},
        FailCase{"filter 1", Patched(Png(8, 8), 27, {1})},
        FailCase{"interlace 2", Png(8, 8, 2, 8, 2)},
        FailCase{"IHDR length 14", Patched(Png(8, 8), 11, {14})},
        FailCase{"IHDR not first", Patched(Png(8, 8), 12, {'g', 'A', 'M', 'A'})},
        FailCase{"no image data", Patched(Png(8, 8), 33 + 4, {'I', 'E', 'N', 'D'})},
        FailCase{"chunk of 2^31 bytes", Patched(Png(8, 8, 3, 8, 0, {"PLTE"}), 33, {0x80, 0, 0, 0})},
        FailCase{"cut in the IDAT chunk header", Truncated(Png(8, 8), 33 + 7)}));

TEST(PhotoHeaderGif, SizeAlphaInterlaceAndBothVersions) {
    EXPECT_EQ(Read(Gif(320, 240)), Expect(PhotoFormat::Gif, 320, 240));
    EXPECT_EQ(Read(Patched(Gif(320, 240), 4, {'7'})), Expect(PhotoFormat::Gif, 320, 240));
    PhotoHeader alpha = Expect(PhotoFormat::Gif, 65535, 1);
    alpha.hasAlpha = true;
    EXPECT_EQ(Read(Gif(65535, 1, true)), alpha);
    PhotoHeader interlaced = Expect(PhotoFormat::Gif, 10, 10);
    interlaced.progressive = true;
    EXPECT_EQ(Read(Gif(10, 10, false, true)), interlaced);
    // Without a global colour table the first block follows the screen descriptor.
    Bytes noTable = Gif(3, 4);
    noTable[10] = 0;
    noTable.erase(noTable.begin() + 13, noTable.begin() + 25);
    EXPECT_EQ(Read(noTable), Expect(PhotoFormat::Gif, 3, 4));
}

TEST(PhotoHeaderGif, AFrameBeyondTheScreenWidensIt) {
    EXPECT_EQ(Read(Gif(100, 100, false, false, 50, 50, 10, 20)),
              Expect(PhotoFormat::Gif, 100, 100));
    EXPECT_EQ(Read(Gif(100, 100, false, false, 65535, 65535, 65535, 65535)),
              Expect(PhotoFormat::Gif, 131070, 131070));
    EXPECT_EQ(Read(Gif(0, 0, false, false, 20, 30)), Expect(PhotoFormat::Gif, 20, 30));
    EXPECT_FALSE(IsDecodable(Expect(PhotoFormat::Gif, 131070, 131070)));
}

INSTANTIATE_TEST_SUITE_P(
    Gif, PhotoHeaderUnreadable,
    testing::Values(FailCase{"GIF88a", Patched(Gif(8, 8), 4, {'8'})},
                    FailCase{"screen descriptor cut short", Truncated(Gif(8, 8), 12)},
                    FailCase{"zero size", Gif(0, 0, false, false, 0, 0)},
                    FailCase{"trailer before any frame",
                             Builder().Str("GIF89a").Le16(8).Le16(8).U8(0).U8(0).U8(0).U8(0x3B)},
                    FailCase{"unknown block", Patched(Gif(8, 8), 25, {0x99})},
                    FailCase{"frame descriptor cut short",
                             Truncated(Gif(8, 8, true), 25 + 8 + 13 + 9)}));

TEST(PhotoHeaderBmp, SizesBitDepthsAndHeaderKinds) {
    EXPECT_EQ(Read(BmpInfo(300, 200)), Expect(PhotoFormat::Bmp, 300, 200));
    EXPECT_EQ(Read(BmpInfo(300, -200)), Expect(PhotoFormat::Bmp, 300, 200));
    EXPECT_EQ(Read(BmpInfo(1, std::numeric_limits<int32_t>::max())),
              Expect(PhotoFormat::Bmp, 1, std::numeric_limits<int32_t>::max()));
    EXPECT_EQ(Read(BmpInfo(7, -std::numeric_limits<int32_t>::max())),
              Expect(PhotoFormat::Bmp, 7, std::numeric_limits<int32_t>::max()));
    PhotoHeader alpha = Expect(PhotoFormat::Bmp, 64, 32);
    alpha.hasAlpha = true;
    EXPECT_EQ(Read(BmpInfo(64, 32, 32)), alpha);
    EXPECT_EQ(Read(BmpInfo(64, -32, 32, 124)), alpha);
    EXPECT_EQ(Read(BmpInfo(64, 32, 8, 108)), Expect(PhotoFormat::Bmp, 64, 32));
    EXPECT_EQ(Read(BmpCore(65535, 2)), Expect(PhotoFormat::Bmp, 65535, 2));
    alpha.width = 3;
    alpha.height = 65535;
    EXPECT_EQ(Read(BmpCore(3, 65535, 32)), alpha);
}

INSTANTIATE_TEST_SUITE_P(
    Bmp, PhotoHeaderUnreadable,
    testing::Values(FailCase{"height INT_MIN", BmpInfo(8, std::numeric_limits<int32_t>::min())},
                    FailCase{"height 0", BmpInfo(8, 0)}, FailCase{"width 0", BmpInfo(0, 8)},
                    FailCase{"width negative", BmpInfo(-8, 8)},
                    FailCase{"core width 0", BmpCore(0, 8)},
                    FailCase{"core height 0", BmpCore(8, 0)},
                    FailCase{"header size 16", Patched(BmpInfo(8, 8), 14, {16})},
                    FailCase{"header size 39", Patched(BmpInfo(8, 8), 14, {39})},
                    FailCase{"header size 0", Patched(BmpInfo(8, 8), 14, {0})},
                    FailCase{"info header cut short", Truncated(BmpInfo(8, 8), 14 + 4 + 11)},
                    FailCase{"core header cut short", Truncated(BmpCore(8, 8), 14 + 4 + 7)},
                    FailCase{"file header only", Truncated(BmpInfo(8, 8), 14)}));

INSTANTIATE_TEST_SUITE_P(
    Other, PhotoHeaderUnreadable,
    testing::Values(FailCase{"zero bytes", {}}, FailCase{"one byte", {0xFF}},
                    FailCase{"text", Builder().Str("hello, world\n")},
                    FailCase{"TIFF", Builder().Str("II").Le16(42).Le32(8).Fill(64, 0)},
                    FailCase{"JPEG signature one byte in", Builder().U8(0).Add(SimpleJpeg(8, 8))},
                    FailCase{"zeros", Bytes(4096, 0)}));

// ---- Across formats ----

std::optional<PhotoFormat> FormatOf(const Bytes& bytes) {
    const auto h = Read(bytes);
    return h ? std::optional(h->format) : std::nullopt;
}

TEST(PhotoHeader, TheContentDecidesTheFormat) {
    // Whatever the name says, the decoder judges by the bytes, and so does the reader.
    EXPECT_EQ(FormatOf(Png(2, 3)), PhotoFormat::Png);
    EXPECT_EQ(FormatOf(Gif(2, 3)), PhotoFormat::Gif);
    EXPECT_EQ(FormatOf(BmpInfo(2, 3)), PhotoFormat::Bmp);
    EXPECT_EQ(FormatOf(BmpCore(2, 3)), PhotoFormat::Bmp);
    EXPECT_EQ(FormatOf(SimpleJpeg(2, 3)), PhotoFormat::Jpeg);
}

TEST(PhotoHeader, EveryTruncationFailsOrGivesTheWholeResult) {
    const Bytes files[] = {Png(8, 8, 3, 8, 0, {"PLTE", "tRNS"}), Gif(9, 7, true, true),
                           BmpInfo(5, -6, 32), BmpCore(5, 6),
                           Jpeg({{0xE1, Orientation(5)}}, 0xCE, Sof(3, 4, 12, 1))};
    for (const Bytes& full : files) {
        const auto expected = Read(full);
        ASSERT_TRUE(expected);
        SCOPED_TRACE(testing::PrintToString(*expected));
        bool seen = false;
        for (size_t size = 0; size <= full.size(); ++size) {
            const Bytes prefix(full.begin(), full.begin() + static_cast<ptrdiff_t>(size));
            const auto h = Read(prefix);
            // Once the header is whole, every longer prefix reads it too.
            if (seen || h) {
                EXPECT_EQ(h, expected) << size;
                seen = true;
            }
        }
    }
}

TEST(PhotoHeader, RandomBytesNeverBreakTheReader) {
    std::mt19937 random(20240611);
    int readable = 0;
    for (int i = 0; i < 20000; ++i) {
        Bytes bytes(random() % 200);
        for (uint8_t& b : bytes) {
            b = static_cast<uint8_t>(random());
        }
        // Half of them get a known signature, to go further in.
        static const char* const kStarts[] = {"\xFF\xD8\xFF", "\x89PNG\r\n\x1A\n", "GIF89a", "BM"};
        if (i % 2 == 0) {
            const std::string_view start = kStarts[(i / 2) % 4];
            std::copy_n(start.begin(), std::min(start.size(), bytes.size()), bytes.begin());
        }
        const auto h = Read(bytes);
        if (h) {
            ++readable;
            EXPECT_GE(h->width, 1);
            EXPECT_GE(h->height, 1);
            EXPECT_GE(h->orientation, 1);
            EXPECT_LE(h->orientation, 8);
        }
    }
    // Only BMP headers are simple enough for chance to make.
    EXPECT_LT(readable, 3000);
}

// Claims a gigabyte (a file that shrank since it was measured), holds what it was given.
class ShrunkSource final : public ByteSource {
public:
    explicit ShrunkSource(const Bytes& bytes) : m_held(bytes) {}
    uint64_t Size() const override { return uint64_t{1} << 30; }
    size_t ReadAt(uint64_t offset, std::span<uint8_t> out) override {
        return m_held.ReadAt(offset, out);
    }

private:
    MemoryByteSource m_held;
};

// Says it copied more than it was asked for.
class BoastfulSource final : public ByteSource {
public:
    explicit BoastfulSource(const Bytes& bytes) : m_held(bytes) {}
    uint64_t Size() const override { return m_held.Size(); }
    size_t ReadAt(uint64_t offset, std::span<uint8_t> out) override {
        m_held.ReadAt(offset, out);
        return out.size() + 100;
    }

private:
    MemoryByteSource m_held;
};

TEST(PhotoHeader, SourcesThatMisreportAreNotBelieved) {
    const Bytes full = SimpleJpeg(640, 480);
    ShrunkSource whole(full);
    EXPECT_EQ(ReadPhotoHeader(whole), ExpectJpeg(640, 480));
    const Bytes cut(full.begin(), full.begin() + 30);
    ShrunkSource shrunk(cut);
    EXPECT_EQ(ReadPhotoHeader(shrunk), std::nullopt);
    const Bytes empty;
    ShrunkSource nothing(empty);
    EXPECT_EQ(ReadPhotoHeader(nothing), std::nullopt);
    // A count beyond the request is taken as the request: nothing past the buffer is touched.
    BoastfulSource boastful(full);
    EXPECT_EQ(ReadPhotoHeader(boastful), ExpectJpeg(640, 480));
}

TEST(MemoryByteSource, CopiesWhatItHolds) {
    const Bytes bytes = {1, 2, 3, 4, 5};
    MemoryByteSource source(bytes);
    EXPECT_EQ(source.Size(), 5u);
    uint8_t out[4] = {};
    EXPECT_EQ(source.ReadAt(0, out), 4u);
    EXPECT_EQ(out[3], 4);
    EXPECT_EQ(source.ReadAt(3, out), 2u);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[1], 5);
    EXPECT_EQ(source.ReadAt(5, out), 0u);
    EXPECT_EQ(source.ReadAt(std::numeric_limits<uint64_t>::max(), out), 0u);
    EXPECT_EQ(source.ReadAt(1, {}), 0u);
}

// ---- Decodability and upright size ----

TEST(PhotoHeader, HugeHeadersAreReadableButNotDecodable) {
    const auto huge = Read(SimpleJpeg(65000, 65000));
    ASSERT_EQ(huge, ExpectJpeg(65000, 65000));
    EXPECT_FALSE(IsDecodable(*huge));
    const auto strip = Read(SimpleJpeg(1, 30000));
    ASSERT_EQ(strip, ExpectJpeg(1, 30000));
    EXPECT_TRUE(IsDecodable(*strip));
}

TEST(PhotoHeader, DecodableUpToThePixelLimit) {
    EXPECT_TRUE(IsDecodable(Expect(PhotoFormat::Jpeg, 12000, 10000)));
    EXPECT_FALSE(IsDecodable(Expect(PhotoFormat::Jpeg, 12000, 10001)));
    EXPECT_TRUE(IsDecodable(Expect(PhotoFormat::Bmp, 120'000'000, 1)));
    EXPECT_FALSE(IsDecodable(Expect(PhotoFormat::Bmp, 120'000'001, 1)));
    EXPECT_TRUE(IsDecodable(Expect(PhotoFormat::Png, 1, 1)));
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    EXPECT_FALSE(IsDecodable(Expect(PhotoFormat::Png, kMax, kMax)));
    EXPECT_FALSE(IsDecodable(Expect(PhotoFormat::Png, 0, 5)));
    EXPECT_FALSE(IsDecodable(Expect(PhotoFormat::Png, 5, 0)));
    EXPECT_FALSE(IsDecodable(Expect(PhotoFormat::Png, -5, -5)));
    EXPECT_FALSE(IsDecodable(Expect(PhotoFormat::Png, std::numeric_limits<int32_t>::min(), -1)));
}

TEST(PhotoHeader, UprightSizeTurnsForOrientationsFiveToEight) {
    const Size32 expected[] = {{40, 30}, {40, 30}, {40, 30}, {40, 30},
                               {30, 40}, {30, 40}, {30, 40}, {30, 40}};
    for (int32_t o = 1; o <= 8; ++o) {
        PhotoHeader h = Expect(PhotoFormat::Jpeg, 40, 30);
        h.orientation = o;
        EXPECT_EQ(UprightSize(h), expected[o - 1]) << o;
    }
    PhotoHeader odd = Expect(PhotoFormat::Jpeg, 40, 30);
    odd.orientation = 9;
    EXPECT_EQ(UprightSize(odd), (Size32{40, 30}));
}

// ---- Files from a real encoder ----

// ImageMagick's convert, when this machine has it, makes real files: its JPEG tables, its PNG
// chunks. It writes an EXIF orientation only into an EXIF block the file already has, so one is
// put into its first JPEG by hand.
class PhotoHeaderFromConvert : public testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << "convert is looked for on Linux only";
#else
        std::error_code error;
        if (!std::filesystem::is_regular_file("/usr/bin/convert", error) ||
            std::system("/usr/bin/convert -version 2>/dev/null | grep -q ImageMagick") != 0) {
            GTEST_SKIP() << "ImageMagick's convert is not installed";
        }
        m_dir = std::filesystem::temp_directory_path() /
                ("photo_header_test." + std::to_string(std::random_device()()));
        std::filesystem::create_directories(m_dir);
#endif
    }
    void TearDown() override {
        if (!m_dir.empty()) {
            std::error_code error;
            std::filesystem::remove_all(m_dir, error);
        }
    }

    // Quoted for the shell.
    std::string Path(const char* name) const {
        return "'" + (m_dir / name).string() + "'";
    }
    std::string File(const char* name) const {
        return (m_dir / name).string();
    }

    bool Convert(const std::string& arguments) {
        return std::system(("/usr/bin/convert " + arguments + " 2>/dev/null").c_str()) == 0;
    }

    static Bytes Load(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void Save(const std::string& path, const Bytes& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }

    std::filesystem::path m_dir;
};

TEST_F(PhotoHeaderFromConvert, JpegSizesAndAnOrientationItWrote) {
    ASSERT_TRUE(Convert("-size 64x48 xc:red " + Path("plain.jpg")));
    const Bytes plain = Load(File("plain.jpg"));
    EXPECT_EQ(Read(plain), ExpectJpeg(64, 48));

    Bytes withExif = plain;
    const Bytes app1 = Builder().Segment(0xE1, Exif({{0x0112, 3, 1, 1}}));
    withExif.insert(withExif.begin() + 2, app1.begin(), app1.end());
    Save(File("exif.jpg"), withExif);
    ASSERT_TRUE(
        Convert(Path("exif.jpg") + " -orient RightTop -interlace JPEG " + Path("turned.jpg")));
    const auto turned = Read(Load(File("turned.jpg")));
    EXPECT_EQ(turned, ExpectJpeg(64, 48, 0xC2, 6));
    ASSERT_TRUE(turned);
    EXPECT_EQ(UprightSize(*turned), (Size32{48, 64}));
}

TEST_F(PhotoHeaderFromConvert, OtherFormatsUnderAJpegName) {
    ASSERT_TRUE(Convert("-size 30x20 xc:none PNG32:" + Path("alpha.jpg")));
    ASSERT_TRUE(Convert("-size 30x20 xc:blue PNG24:" + Path("rgb.jpg")));
    ASSERT_TRUE(Convert("-size 30x20 xc:green GIF:" + Path("gif.jpg")));
    ASSERT_TRUE(Convert("-size 30x20 xc:blue BMP3:" + Path("bmp.jpg")));
    PhotoHeader alpha = Expect(PhotoFormat::Png, 30, 20);
    alpha.hasAlpha = true;
    EXPECT_EQ(Read(Load(File("alpha.jpg"))), alpha);
    EXPECT_EQ(Read(Load(File("rgb.jpg"))), Expect(PhotoFormat::Png, 30, 20));
    const auto gif = Read(Load(File("gif.jpg")));
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->format, PhotoFormat::Gif);
    EXPECT_EQ(UprightSize(*gif), (Size32{30, 20}));
    EXPECT_EQ(Read(Load(File("bmp.jpg"))), Expect(PhotoFormat::Bmp, 30, 20));
}

}  // namespace
}  // namespace quillmere
