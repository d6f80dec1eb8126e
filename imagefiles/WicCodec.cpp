#include "imagefiles/WicCodec.h"

#include "imagefiles/ImageError.h"
#include "imagefiles/OutputSink.h"
#include "imagefiles/SourceFile.h"

#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <new>
#include <vector>

namespace Tessarine::Lamino {

namespace {

// Holds one COM interface pointer and releases it.
template <class T> class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef()
    {
        if (pointer) pointer->Release();
    }
    T** out() { return &pointer; }
    T* operator->() const { return pointer; }
    T* get() const { return pointer; }

private:
    T* pointer = nullptr;
};

// COM for the calling thread, for one call. A thread already in another apartment model keeps
// it (RPC_E_CHANGED_MODE): WIC's factory works in either.
class ComScope {
public:
    ComScope() : result(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) { }
    ~ComScope()
    {
        if (SUCCEEDED(result)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT result;
};


// A WIC failure while reading a file whose structure was checked, in words.
std::string readFailure(HRESULT code)
{
    switch (code) {
    case WINCODEC_ERR_BADHEADER:
    case WINCODEC_ERR_BADIMAGE:
    case WINCODEC_ERR_BADSTREAMDATA:
    case WINCODEC_ERR_STREAMREAD:
    case WINCODEC_ERR_FRAMEMISSING:
    case WINCODEC_ERR_COMPONENTNOTFOUND:
    case WINCODEC_ERR_UNKNOWNIMAGEFORMAT: return "the file is damaged or truncated";
    case WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT:
    case WINCODEC_ERR_UNSUPPORTEDOPERATION:
        return "its kind of pixels is not supported by Windows Imaging Component";
    case E_OUTOFMEMORY: return "not enough memory for its pixels";
    case HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED):
    case HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION):
        return "the file cannot be opened (access denied)";
    default:
        return "Windows Imaging Component cannot decode its pixels, which are probably damaged "
               "(error " + hresultText(code) + ")";
    }
}

void check(HRESULT code, const SourceFile& file)
{
    if (FAILED(code)) {
        file.fail(readFailure(code));
    }
}

void createFactory(ComRef<IWICImagingFactory>& factory, const std::string& path)
{
    HRESULT code
        = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                           IID_IWICImagingFactory, reinterpret_cast<void**>(factory.out()));
    if (FAILED(code)) {
        throw ImageError("cannot handle '" + path
                         + "': Windows Imaging Component is not available (error "
                         + hresultText(code) + ")");
    }
}

void swapRedAndBlue(uint8_t* pixels, size_t bytes)
{
    for (size_t i = 0; i + 3 < bytes; i += 4) {
        std::swap(pixels[i], pixels[i + 2]);
    }
}

// A 1 x 1 PNG of 16-bit RGBA samples 0x1234, 0x0001, 0xFF00, 0xFFFF, made by another program.
const uint8_t kKnownSixteenBitPng[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44,
    0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x10, 0x06, 0x00, 0x00, 0x00, 0x4F,
    0x85, 0x18, 0xCA, 0x00, 0x00, 0x00, 0x11, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0x10,
    0x32, 0x61, 0x60, 0xFC, 0xCF, 0xF0, 0xFF, 0x3F, 0x00, 0x09, 0x03, 0x03, 0x45, 0xF8, 0xB5,
    0xFE, 0xD2, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
const uint16_t kKnownSamples[4] = {0x1234, 0x0001, 0xFF00, 0xFFFF};

void swapBytes(uint16_t* samples, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        samples[i] = uint16_t(samples[i] << 8 | samples[i] >> 8);
    }
}

// The first 16-bit RGBA pixel of a PNG held in a stream, or zeros.
void decodeFirstPixel(IWICImagingFactory* factory, IStream* stream, uint16_t pixel[4])
{
    std::fill(pixel, pixel + 4, uint16_t(0));
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    ComRef<IWICBitmapDecoder> decoder;
    ComRef<IWICBitmapFrameDecode> frame;
    WICPixelFormatGUID format{};
    if (SUCCEEDED(factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand,
                                                   decoder.out()))
        && SUCCEEDED(decoder->GetFrame(0, frame.out())) && SUCCEEDED(frame->GetPixelFormat(&format))
        && IsEqualGUID(format, GUID_WICPixelFormat64bppRGBA)) {
        frame->CopyPixels(nullptr, 8, 8, reinterpret_cast<BYTE*>(pixel));
    }
}

bool isKnownPixelSwapped(const uint16_t pixel[4])
{
    uint16_t swapped[4];
    std::copy(kKnownSamples, kKnownSamples + 4, swapped);
    swapBytes(swapped, 4);
    return std::equal(pixel, pixel + 4, swapped);
}

// Whether WIC's PNG codec hands 16-bit samples over byte-swapped: they should be in the machine's
// order, but Wine's PNG encoder stores them so, where PNG holds the high byte first. Found once
// per process, by decoding a known file and then a pixel encoded in memory.
struct SixteenBitPngOrder {
    bool decoderSwaps = false;
    bool encoderSwaps = false;
};

SixteenBitPngOrder findSixteenBitPngOrder(IWICImagingFactory* factory)
{
    SixteenBitPngOrder order;
    ComRef<IStream> known, encoded;
    uint16_t pixel[4];
    if (SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, known.out()))
        && SUCCEEDED(known->Write(kKnownSixteenBitPng, sizeof kKnownSixteenBitPng, nullptr))) {
        decodeFirstPixel(factory, known.get(), pixel);
        order.decoderSwaps = isKnownPixelSwapped(pixel);
    }
    ComRef<IWICBitmapEncoder> encoder;
    ComRef<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat64bppRGBA;
    uint16_t samples[4];
    std::copy(kKnownSamples, kKnownSamples + 4, samples);
    if (SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, encoded.out()))
        && SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out()))
        && SUCCEEDED(encoder->Initialize(encoded.get(), WICBitmapEncoderNoCache))
        && SUCCEEDED(encoder->CreateNewFrame(frame.out(), nullptr))
        && SUCCEEDED(frame->Initialize(nullptr)) && SUCCEEDED(frame->SetSize(1, 1))
        && SUCCEEDED(frame->SetPixelFormat(&format))
        && SUCCEEDED(frame->WritePixels(1, 8, 8, reinterpret_cast<BYTE*>(samples)))
        && SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit())) {
        decodeFirstPixel(factory, encoded.get(), pixel);
        if (order.decoderSwaps) {
            swapBytes(pixel, 4);
        }
        order.encoderSwaps = isKnownPixelSwapped(pixel);
    }
    return order;
}

SixteenBitPngOrder sixteenBitPngOrder(IWICImagingFactory* factory)
{
    static std::once_flag found;
    static SixteenBitPngOrder order;
    std::call_once(found, [&] { order = findSixteenBitPngOrder(factory); });
    return order;
}

// The 16-bit layouts WIC decoders hand out, which this reader copies as they are: Wine's format
// converter makes none of them (only 8-bit ones), so the samples are rearranged here.
struct DeepLayout {
    const GUID* format;
    int channels;        // 1 grey, 3 colour, 4 colour and alpha
    bool blueFirst;
    bool premultiplied;
};

const DeepLayout kDeepLayouts[] = {
    {&GUID_WICPixelFormat64bppRGBA, 4, false, false},
    {&GUID_WICPixelFormat64bppBGRA, 4, true, false},
    {&GUID_WICPixelFormat64bppPRGBA, 4, false, true},
    {&GUID_WICPixelFormat64bppPBGRA, 4, true, true},
    {&GUID_WICPixelFormat48bppRGB, 3, false, false},
    {&GUID_WICPixelFormat48bppBGR, 3, true, false},
    {&GUID_WICPixelFormat16bppGray, 1, false, false},
};

const DeepLayout* deepLayoutOf(const WICPixelFormatGUID& format)
{
    for (const DeepLayout& layout : kDeepLayouts) {
        if (IsEqualGUID(format, *layout.format)) {
            return &layout;
        }
    }
    return nullptr;
}

// One frame of a file opened through WIC.
struct WicFrame {
    ComScope com;
    ComRef<IWICImagingFactory> factory;
    ComRef<IWICBitmapDecoder> decoder;
    ComRef<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
    WICPixelFormatGUID format{};

    WicFrame(const SourceFile& file, const GUID& container)
    {
        createFactory(factory, file.path());
        check(factory->CreateDecoder(container, nullptr, decoder.out()), file);
        ComRef<IWICStream> stream;
        check(factory->CreateStream(stream.out()), file);
        check(stream->InitializeFromFilename(file.widePath().c_str(), GENERIC_READ), file);
        check(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand), file);
        check(decoder->GetFrame(0, frame.out()), file);
        check(frame->GetSize(&width, &height), file);
        check(frame->GetPixelFormat(&format), file);
    }
};

Image allocate(UINT width, UINT height, ImageDepth depth, const SourceFile& file)
{
    try {
        return Image(int32_t(width), int32_t(height), depth);
    } catch (const std::bad_alloc&) {
        file.fail("not enough memory for its pixels");
    }
}

Image decodeEightBit(WicFrame& wic, const SourceFile& file)
{
    ComRef<IWICFormatConverter> converter;
    check(wic.factory->CreateFormatConverter(converter.out()), file);
    check(converter->Initialize(wic.frame.get(), GUID_WICPixelFormat32bppBGRA,
                                WICBitmapDitherTypeNone, nullptr, 0.0, WICBitmapPaletteTypeCustom),
          file);
    Image image = allocate(wic.width, wic.height, ImageDepth::Bits8, file);
    check(converter->CopyPixels(nullptr, wic.width * 4, UINT(image.rgba.size()), image.rgba.data()),
          file);
    swapRedAndBlue(image.rgba.data(), image.rgba.size());
    return image;
}

void spreadDeepRow(const uint16_t* source, const DeepLayout& layout, uint16_t* target, UINT width)
{
    for (UINT x = 0; x < width; ++x, source += layout.channels, target += 4) {
        if (layout.channels == 1) {
            target[0] = target[1] = target[2] = source[0];
            target[3] = 65535;
            continue;
        }
        target[0] = source[layout.blueFirst ? 2 : 0];
        target[1] = source[1];
        target[2] = source[layout.blueFirst ? 0 : 2];
        target[3] = layout.channels == 4 ? source[3] : 65535;
        if (layout.premultiplied && target[3] != 0 && target[3] != 65535) {
            for (int c = 0; c < 3; ++c) {
                uint32_t straight = (uint32_t(target[c]) * 65535 + target[3] / 2) / target[3];
                target[c] = uint16_t(std::min<uint32_t>(straight, 65535));
            }
        }
    }
}

Image decodeSixteenBit(WicFrame& wic, const DeepLayout& layout, const GUID& container,
                       const SourceFile& file)
{
    bool swapped = IsEqualGUID(container, GUID_ContainerFormatPng)
        && sixteenBitPngOrder(wic.factory.get()).decoderSwaps;
    Image image = allocate(wic.width, wic.height, ImageDepth::Bits16, file);
    UINT stride = wic.width * UINT(layout.channels) * 2;
    std::vector<uint16_t> row(size_t(wic.width) * size_t(layout.channels));
    for (UINT y = 0; y < wic.height; ++y) {
        WICRect line = {0, INT(y), INT(wic.width), 1};
        check(wic.frame->CopyPixels(&line, stride, stride, reinterpret_cast<BYTE*>(row.data())),
              file);
        if (swapped) {
            swapBytes(row.data(), row.size());
        }
        spreadDeepRow(row.data(), layout, image.pixel16(0, int32_t(y)), wic.width);
    }
    return image;
}

// ---- writing

void checkWrite(HRESULT code, OutputSink& sink, const std::string& path)
{
    sink.throwIfFailed();  // the file's own failure (a full disk) says more than the encoder's
    if (FAILED(code)) {
        throw ImageError("cannot write '" + path + "': the encoder failed (error "
                         + hresultText(code) + ")");
    }
}

// Rows go to the encoder in blocks of about 1 MB, each prepared by `prepare` (which may
// reorder its samples in place), so that no copy of the whole image is made.
template <class Sample, class Prepare>
void writeRows(IWICBitmapFrameEncode* frame, const std::vector<Sample>& samples,
               const Image& image, OutputSink& sink, const std::string& path, Prepare prepare)
{
    const size_t rowSamples = size_t(image.width) * 4;
    const UINT stride = UINT(rowSamples * sizeof(Sample));
    const int32_t rowsPerBlock = std::max<int32_t>(1, int32_t((1u << 20) / stride));
    std::vector<Sample> block;
    for (int32_t y = 0; y < image.height; y += rowsPerBlock) {
        int32_t rows = std::min(rowsPerBlock, image.height - y);
        block.assign(samples.begin() + ptrdiff_t(size_t(y) * rowSamples),
                     samples.begin() + ptrdiff_t(size_t(y + rows) * rowSamples));
        prepare(block);
        checkWrite(frame->WritePixels(UINT(rows), stride, UINT(block.size() * sizeof(Sample)),
                                      reinterpret_cast<BYTE*>(block.data())),
                   sink, path);
    }
}

}  // namespace

Image WicCodec::decode(const SourceFile& file, const GUID& container, int64_t width,
                       int64_t height)
{
    WicFrame wic(file, container);
    if (wic.width != width || wic.height != height) {
        file.damaged("its decoder sees " + std::to_string(wic.width) + " x "
                     + std::to_string(wic.height) + " pixels, its header "
                     + std::to_string(width) + " x " + std::to_string(height));
    }
    const DeepLayout* deep = deepLayoutOf(wic.format);
    return deep ? decodeSixteenBit(wic, *deep, container, file) : decodeEightBit(wic, file);
}

void WicCodec::encode(const GUID& container, const Image& image, OutputSink& sink,
                      const std::string& path)
{
    ComScope com;
    ComRef<IWICImagingFactory> factory;
    createFactory(factory, path);
    ComRef<IWICBitmapEncoder> encoder;
    checkWrite(factory->CreateEncoder(container, nullptr, encoder.out()), sink, path);
    checkWrite(encoder->Initialize(sink.comStream(), WICBitmapEncoderNoCache), sink, path);
    ComRef<IWICBitmapFrameEncode> frame;
    checkWrite(encoder->CreateNewFrame(frame.out(), nullptr), sink, path);
    checkWrite(frame->Initialize(nullptr), sink, path);
    checkWrite(frame->SetSize(UINT(image.width), UINT(image.height)), sink, path);
    const bool eight = image.depth == ImageDepth::Bits8;
    const WICPixelFormatGUID wanted
        = eight ? GUID_WICPixelFormat32bppBGRA : GUID_WICPixelFormat64bppRGBA;
    WICPixelFormatGUID format = wanted;
    checkWrite(frame->SetPixelFormat(&format), sink, path);
    if (!IsEqualGUID(format, wanted)) {
        throw ImageError("cannot write '" + path + "': the encoder refuses the image's pixels");
    }
    if (eight) {
        writeRows(frame.get(), image.rgba, image, sink, path, [](std::vector<uint8_t>& block) {
            swapRedAndBlue(block.data(), block.size());
        });
    } else {
        Image deep = image.depth == ImageDepth::Bits16 ? Image() : image.converted(ImageDepth::Bits16);
        const Image& stored = image.depth == ImageDepth::Bits16 ? image : deep;
        bool swap = IsEqualGUID(container, GUID_ContainerFormatPng)
            && sixteenBitPngOrder(factory.get()).encoderSwaps;
        writeRows(frame.get(), stored.rgba16, stored, sink, path, [&](std::vector<uint16_t>& block) {
            if (swap) {
                swapBytes(block.data(), block.size());
            }
        });
    }
    checkWrite(frame->Commit(), sink, path);
    checkWrite(encoder->Commit(), sink, path);
}

}  // namespace Tessarine::Lamino
