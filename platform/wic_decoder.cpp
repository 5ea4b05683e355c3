#include "platform/wic_decoder.h"

#include <limits>
#include <utility>

#include "platform/unique_handle.h"

namespace quillmere {

namespace {

// Premultiplied BGRA: photos with transparency average correctly and are drawn over the fill.
// Grayscale and CMYK photos convert to it too.
const GUID& kPixelFormat = GUID_WICPixelFormat32bppPBGRA;

// The decoder's own scaling while decoding (a JPEG's DCT scaling). The toolchain's headers do not
// declare it; this is its documented layout, used only to ask which sizes are native.
struct BitmapSourceTransform : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT width, UINT height,
                                                 WICPixelFormatGUID* format,
                                                 WICBitmapTransformOptions transform, UINT stride,
                                                 UINT size, BYTE* buffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClosestSize(UINT* width, UINT* height) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClosestPixelFormat(WICPixelFormatGUID* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE DoesSupportTransform(WICBitmapTransformOptions transform,
                                                           BOOL* supported) = 0;
};
constexpr IID kIidBitmapSourceTransform = {
    0x3b16811b, 0x6a43, 0x4ec9, {0xb7, 0x13, 0x3d, 0x5a, 0x0c, 0x13, 0xb9, 0x40}};

bool ReadWholeFile(const std::wstring& path, uint64_t limit, std::vector<uint8_t>& bytes) {
    UniqueKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                        nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        return false;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 ||
        static_cast<uint64_t>(size.QuadPart) > limit) {
        return false;
    }
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        const DWORD ask = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
        if (!ReadFile(file.get(), bytes.data() + done, ask, &got, nullptr) || got == 0) {
            return false;  // shorter than its size said: changed while being read
        }
        done += got;
    }
    return true;
}

}  // namespace

bool WicDecoder::Open(const std::wstring& path) {
    if (!ReadWholeFile(path, kMaxFileBytes, m_bytes)) {
        return false;
    }
    MemoryByteSource source(m_bytes);
    const std::optional<PhotoHeader> header = ReadPhotoHeader(source);
    if (!header || !IsDecodable(*header)) {
        return false;
    }
    m_header = *header;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, m_factory.put_void())) ||
        FAILED(m_factory->CreateStream(m_stream.put())) ||
        FAILED(m_stream->InitializeFromMemory(m_bytes.data(), static_cast<DWORD>(m_bytes.size()))) ||
        FAILED(m_factory->CreateDecoderFromStream(m_stream.get(), nullptr,
                                                  WICDecodeMetadataCacheOnDemand,
                                                  m_decoder.put())) ||
        FAILED(m_decoder->GetFrame(0, m_frame.put()))) {
        return false;
    }
    UINT width = 0;
    UINT height = 0;
    if (FAILED(m_frame->GetSize(&width, &height))) {
        return false;
    }
    // The decoder must see the photo our header check vetted, not another one inside the file.
    if (width != static_cast<UINT>(m_header.width) || height != static_cast<UINT>(m_header.height)) {
        return false;
    }
    m_stored = {m_header.width, m_header.height};
    return true;
}

std::optional<Size32> WicDecoder::NativeSizeFor(Size32 wanted) {
    ComPtr<BitmapSourceTransform> transform;
    if (FAILED(m_frame->QueryInterface(kIidBitmapSourceTransform, transform.put_void()))) {
        return std::nullopt;  // Wine offers none: it decodes at the stored size only
    }
    UINT width = static_cast<UINT>(wanted.width);
    UINT height = static_cast<UINT>(wanted.height);
    if (FAILED(transform->GetClosestSize(&width, &height))) {
        return std::nullopt;
    }
    return Size32{static_cast<int32_t>(width), static_cast<int32_t>(height)};
}

bool WicDecoder::CopyRect(Size32 size, Rect32 rect, const PixelTarget& target) {
    if (size.width <= 0 || size.height <= 0 || rect.left < 0 || rect.top < 0 ||
        rect.left >= rect.right || rect.top >= rect.bottom || rect.right > size.width ||
        rect.bottom > size.height || target.data == nullptr ||
        target.width != rect.right - rect.left || target.height != rect.bottom - rect.top ||
        target.stride < ptrdiff_t{target.width} * 4) {
        return false;
    }
    // The bytes from the first pixel to the last one's end: all the decoder may write.
    const uint64_t bytes =
        uint64_t(target.stride) * uint64_t(target.height - 1) + uint64_t(target.width) * 4;
    if (bytes > std::numeric_limits<UINT>::max() ||
        target.stride > std::numeric_limits<UINT>::max()) {
        return false;
    }
    if (!m_converter || m_convertedSize != size) {
        m_converter.reset();
        IWICBitmapSource* source = m_frame.get();
        // At a native size the platform's scaler hands the work to the decoder's own scaling.
        ComPtr<IWICBitmapScaler> scaler;
        if (size != m_stored) {
            if (FAILED(m_factory->CreateBitmapScaler(scaler.put())) ||
                FAILED(scaler->Initialize(m_frame.get(), static_cast<UINT>(size.width),
                                          static_cast<UINT>(size.height),
                                          WICBitmapInterpolationModeFant))) {
                return false;
            }
            source = scaler.get();
        }
        ComPtr<IWICFormatConverter> converter;
        if (FAILED(m_factory->CreateFormatConverter(converter.put())) ||
            FAILED(converter->Initialize(source, kPixelFormat, WICBitmapDitherTypeNone, nullptr,
                                         0.0, WICBitmapPaletteTypeCustom))) {
            return false;
        }
        m_converter = std::move(converter);
        m_convertedSize = size;
    }
    const WICRect wanted{rect.left, rect.top, target.width, target.height};
    return SUCCEEDED(m_converter->CopyPixels(&wanted, static_cast<UINT>(target.stride),
                                             static_cast<UINT>(bytes), target.data));
}

}  // namespace quillmere
