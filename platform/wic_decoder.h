// Decodes one photo file with the platform's imaging component, after our own header check has
// vetted it: the decoders crash or take gigabytes on hostile headers, so they never see a file
// whose header we cannot read or that claims more pixels than we allow.
#pragma once

#include <wincodec.h>

#include <string>
#include <vector>

#include "platform/com.h"
#include "show/photo_header.h"
#include "show/photo_pipeline.h"

namespace quillmere {

class WicDecoder final : public PhotoFrame {
public:
    // Largest file read: a photo of the largest allowed size, stored uncompressed, fits.
    static constexpr uint64_t kMaxFileBytes = uint64_t{512} << 20;

    // Reads and vets the file and opens its first frame. False when it cannot be shown.
    bool Open(const std::wstring& path);

    int32_t Orientation() const { return m_header.orientation; }

    Size32 StoredSize() const override { return m_stored; }
    std::optional<Size32> NativeSizeFor(Size32 wanted) override;
    bool CopyRect(Size32 size, Rect32 rect, const PixelTarget& target) override;

private:
    std::vector<uint8_t> m_bytes;  // the whole file: the header check and the decoder read the same
    PhotoHeader m_header;
    Size32 m_stored;
    ComPtr<IWICImagingFactory> m_factory;
    ComPtr<IWICStream> m_stream;
    ComPtr<IWICBitmapDecoder> m_decoder;
    ComPtr<IWICBitmapFrameDecode> m_frame;
    // The pixels at m_convertedSize, kept between bands so the decoder streams on from the last
    // row it gave instead of starting over.
    ComPtr<IWICFormatConverter> m_converter;
    Size32 m_convertedSize;
};

}  // namespace quillmere
