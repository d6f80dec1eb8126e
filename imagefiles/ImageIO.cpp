#include "imagefiles/ImageIO.h"

#include "imagefiles/FloatTiff.h"
#include "imagefiles/ImageHeader.h"
#include "unicode/Utf8.h"

#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

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

std::string hresultText(HRESULT code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    return text;
}

// Turns a WIC failure while reading into a message a person can act on.
std::string readFailure(HRESULT code)
{
    switch (code) {
    case WINCODEC_ERR_COMPONENTNOTFOUND:
    case WINCODEC_ERR_UNKNOWNIMAGEFORMAT:
        return "not an image format that can be read (PNG, JPEG, TIFF, BMP are)";
    case WINCODEC_ERR_BADHEADER:
    case WINCODEC_ERR_BADIMAGE:
    case WINCODEC_ERR_BADSTREAMDATA:
    case WINCODEC_ERR_STREAMREAD:
    case WINCODEC_ERR_FRAMEMISSING: return "the file is damaged or truncated";
    case HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED):
    case HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION):
        return "the file cannot be opened (access denied)";
    default: return "the image cannot be decoded (error " + hresultText(code) + ")";
    }
}

void check(HRESULT code, const std::string& path, const char* doing)
{
    if (FAILED(code)) {
        throw ImageError("cannot " + std::string(doing) + " '" + path + "': " + readFailure(code));
    }
}

// Whether the file starts like a PNG, JPEG, BMP or TIFF: WIC reports a damaged file of a known
// format as an unknown format, which would mislead.
bool hasKnownSignature(const std::wstring& widePath)
{
    HANDLE file = CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    unsigned char head[4] = {};
    DWORD count = 0;
    ReadFile(file, head, sizeof head, &count, nullptr);
    CloseHandle(file);
    auto starts = [&](const char* signature, DWORD length) {
        return count >= length && std::memcmp(head, signature, length) == 0;
    };
    return starts("\x89PNG", 4) || starts("\xFF\xD8", 2) || starts("BM", 2) || starts("II*", 3)
        || starts("MM\0*", 4);
}

HRESULT openDecoder(IWICImagingFactory* factory, const std::wstring& widePath,
                    const std::string& path, IWICBitmapDecoder** decoder)
{
    HRESULT code = factory->CreateDecoderFromFilename(widePath.c_str(), nullptr, GENERIC_READ,
                                                      WICDecodeMetadataCacheOnDemand, decoder);
    bool unknown
        = code == WINCODEC_ERR_COMPONENTNOTFOUND || code == WINCODEC_ERR_UNKNOWNIMAGEFORMAT;
    if (unknown && hasKnownSignature(widePath)) {
        throw ImageError("cannot read '" + path + "': the file is damaged or truncated");
    }
    return code;
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

void requireReadableFile(const std::wstring& widePath, const std::string& path)
{
    DWORD attributes = GetFileAttributesW(widePath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        throw ImageError("cannot read '" + path + "': no such file");
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        throw ImageError("cannot read '" + path + "': it is a folder, not an image file");
    }
}

void swapRedAndBlue(std::vector<uint8_t>& pixels)
{
    for (size_t i = 0; i + 3 < pixels.size(); i += 4) {
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

// One decoded frame of a file opened through WIC.
struct WicFrame {
    ComScope com;
    ComRef<IWICImagingFactory> factory;
    ComRef<IWICBitmapDecoder> decoder;
    ComRef<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
    WICPixelFormatGUID format{};

    WicFrame(const std::string& path)
    {
        std::wstring widePath = utf8ToWide(path);
        requireReadableFile(widePath, path);
        createFactory(factory, path);
        check(openDecoder(factory.get(), widePath, path, decoder.out()), path, "read");
        check(decoder->GetFrame(0, frame.out()), path, "read");
        check(frame->GetSize(&width, &height), path, "read");
        check(frame->GetPixelFormat(&format), path, "read");
    }
};

void requireSideWithin(int64_t width, int64_t height, const std::string& path)
{
    if (width <= 0 || height <= 0 || width > ImageIO::kMaxSide || height > ImageIO::kMaxSide) {
        throw ImageError("cannot read '" + path + "': its size " + std::to_string(width) + " x "
                         + std::to_string(height) + " is outside 1 to "
                         + std::to_string(ImageIO::kMaxSide) + " pixels per side");
    }
}

Image allocate(int32_t width, int32_t height, ImageDepth depth, const std::string& path)
{
    try {
        return Image(width, height, depth);
    } catch (const std::bad_alloc&) {
        throw ImageError("cannot read '" + path + "': not enough memory for its pixels");
    }
}

Image decodeEightBit(WicFrame& wic, const std::string& path)
{
    ComRef<IWICFormatConverter> converter;
    check(wic.factory->CreateFormatConverter(converter.out()), path, "read");
    check(converter->Initialize(wic.frame.get(), GUID_WICPixelFormat32bppBGRA,
                                WICBitmapDitherTypeNone, nullptr, 0.0, WICBitmapPaletteTypeCustom),
          path, "convert");
    Image image = allocate(int32_t(wic.width), int32_t(wic.height), ImageDepth::Bits8, path);
    check(converter->CopyPixels(nullptr, wic.width * 4, UINT(image.rgba.size()), image.rgba.data()),
          path, "decode");
    swapRedAndBlue(image.rgba);
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

Image decodeSixteenBit(WicFrame& wic, const DeepLayout& layout, const std::string& path)
{
    GUID container{};
    bool swapped = SUCCEEDED(wic.decoder->GetContainerFormat(&container))
        && IsEqualGUID(container, GUID_ContainerFormatPng)
        && sixteenBitPngOrder(wic.factory.get()).decoderSwaps;
    Image image = allocate(int32_t(wic.width), int32_t(wic.height), ImageDepth::Bits16, path);
    UINT stride = wic.width * UINT(layout.channels) * 2;
    std::vector<uint16_t> row(size_t(wic.width) * size_t(layout.channels));
    for (UINT y = 0; y < wic.height; ++y) {
        WICRect line = {0, INT(y), INT(wic.width), 1};
        check(wic.frame->CopyPixels(&line, stride, stride, reinterpret_cast<BYTE*>(row.data())),
              path, "decode");
        if (swapped) {
            swapBytes(row.data(), row.size());
        }
        spreadDeepRow(row.data(), layout, image.pixel16(0, int32_t(y)), wic.width);
    }
    return image;
}

// A TIFF of float samples, which WIC cannot decode to float.
bool isFloatTiff(const std::string& path)
{
    return FloatTiff::hasSignature(path) && FloatTiff::probe(path, path).floatSamples;
}

}  // namespace

ImageIO::FileLayout ImageIO::probe(const std::string& path)
{
    requireReadableFile(utf8ToWide(path), path);
    FileLayout layout;
    if (ExrFile::hasSignature(path)) {
        ExrFile::probe(path, path, layout.width, layout.height);
        layout.depth = ImageDepth::Float32;
        return layout;
    }
    if (FloatTiff::hasSignature(path)) {
        FloatTiff::Layout tiff = FloatTiff::probe(path, path);
        ImageDepth depth = tiff.floatSamples ? ImageDepth::Float32
            : tiff.bitsPerSample > 8         ? ImageDepth::Bits16
                                             : ImageDepth::Bits8;
        return FileLayout{tiff.width, tiff.height, depth};
    }
    if (std::optional<ImageHeader::Layout> header = ImageHeader::read(path, path)) {
        return FileLayout{header->width, header->height, header->depth};
    }
    // Another format WIC decodes: opening it may decode it whole.
    WicFrame wic(path);
    layout.width = int32_t(std::min<UINT>(wic.width, INT32_MAX));
    layout.height = int32_t(std::min<UINT>(wic.height, INT32_MAX));
    layout.depth = deepLayoutOf(wic.format) ? ImageDepth::Bits16 : ImageDepth::Bits8;
    return layout;
}

Image ImageIO::read(const std::string& path)
{
    return readAtFileDepth(path).converted(ImageDepth::Bits8);
}

Image ImageIO::readAtFileDepth(const std::string& path)
{
    requireReadableFile(utf8ToWide(path), path);
    if (ExrFile::hasSignature(path)) {
        return ExrFile::read(path, path, kMaxSide);
    }
    if (isFloatTiff(path)) {
        return FloatTiff::read(path, path, kMaxSide);
    }
    // The header's size first: WIC may decode the whole image as it opens it.
    FileLayout layout = probe(path);
    requireSideWithin(layout.width, layout.height, path);
    WicFrame wic(path);
    requireSideWithin(wic.width, wic.height, path);
    const DeepLayout* deep = deepLayoutOf(wic.format);
    return deep ? decodeSixteenBit(wic, *deep, path) : decodeEightBit(wic, path);
}

namespace {

void checkWrite(HRESULT code, const std::string& path)
{
    if (FAILED(code)) {
        std::string reason = code == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)
            ? "its folder does not exist"
            : code == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED) ? "access denied"
                                                              : "error " + hresultText(code);
        throw ImageError("cannot write '" + path + "': " + reason);
    }
}

// Encodes one frame into a PNG or TIFF through WIC, in a pixel format the encoder takes as is.
void encodeWic(const GUID& container, const WICPixelFormatGUID& pixelFormat, const void* pixels,
               UINT stride, const Image& image, const std::wstring& widePath,
               const std::string& path)
{
    ComScope com;
    ComRef<IWICImagingFactory> factory;
    createFactory(factory, path);
    ComRef<IWICStream> stream;
    checkWrite(factory->CreateStream(stream.out()), path);
    checkWrite(stream->InitializeFromFilename(widePath.c_str(), GENERIC_WRITE), path);
    ComRef<IWICBitmapEncoder> encoder;
    checkWrite(factory->CreateEncoder(container, nullptr, encoder.out()), path);
    checkWrite(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache), path);
    ComRef<IWICBitmapFrameEncode> frame;
    checkWrite(encoder->CreateNewFrame(frame.out(), nullptr), path);
    checkWrite(frame->Initialize(nullptr), path);
    checkWrite(frame->SetSize(UINT(image.width), UINT(image.height)), path);
    WICPixelFormatGUID format = pixelFormat;
    checkWrite(frame->SetPixelFormat(&format), path);
    if (!IsEqualGUID(format, pixelFormat)) {
        throw ImageError("cannot write '" + path + "': the encoder refuses the image's pixels");
    }
    UINT size = stride * UINT(image.height);
    std::vector<uint16_t> swapped;
    if (IsEqualGUID(container, GUID_ContainerFormatPng)
        && IsEqualGUID(format, GUID_WICPixelFormat64bppRGBA)
        && sixteenBitPngOrder(factory.get()).encoderSwaps) {
        const uint16_t* samples = static_cast<const uint16_t*>(pixels);
        swapped.assign(samples, samples + size / 2);
        swapBytes(swapped.data(), swapped.size());
        pixels = swapped.data();
    }
    checkWrite(frame->WritePixels(UINT(image.height), stride, size,
                                  static_cast<BYTE*>(const_cast<void*>(pixels))),
               path);
    checkWrite(frame->Commit(), path);
    checkWrite(encoder->Commit(), path);
}

// PNG or TIFF at 8 or 16 bits: 32bppBGRA or 64bppRGBA, both straight alpha.
void encodeIntegers(const GUID& container, const Image& image, const std::wstring& widePath,
                    const std::string& path)
{
    if (image.depth == ImageDepth::Bits8) {
        std::vector<uint8_t> bgra = image.rgba;
        swapRedAndBlue(bgra);
        encodeWic(container, GUID_WICPixelFormat32bppBGRA, bgra.data(), UINT(image.width) * 4,
                  image, widePath, path);
    } else {
        encodeWic(container, GUID_WICPixelFormat64bppRGBA, image.rgba16.data(),
                  UINT(image.width) * 8, image, widePath, path);
    }
}

void encode(ImageIO::Format format, const Image& image, const ImageIO::WriteOptions& options,
            const std::wstring& widePath, const std::string& path)
{
    Image stored = image.converted(ImageIO::storedDepth(format, image.depth));
    switch (format) {
    case ImageIO::Format::Png:
        encodeIntegers(GUID_ContainerFormatPng, stored, widePath, path);
        break;
    case ImageIO::Format::Tiff:
        if (stored.depth == ImageDepth::Float32) {
            FloatTiff::write(stored, wideToUtf8(widePath), path);
        } else {
            encodeIntegers(GUID_ContainerFormatTiff, stored, widePath, path);
        }
        break;
    case ImageIO::Format::Exr: {
        ExrFile::Channels channels = options.exrChannels.value_or(
            image.depth == ImageDepth::Float32 ? ExrFile::Channels::Float
                                               : ExrFile::Channels::Half);
        ExrFile::write(stored, channels, wideToUtf8(widePath), path);
        break;
    }
    }
}

// What temporary names of this run carry: the wrapper script's run id (so that it can remove
// what a terminated run left), else the process id.
std::wstring temporaryTag()
{
    wchar_t tag[64];
    DWORD length = GetEnvironmentVariableW(L"LAMINO_RUN_ID", tag, 64);
    return length > 0 && length < 64 ? std::wstring(tag, length)
                                     : std::to_wstring(GetCurrentProcessId());
}

// A name beside the target that no file had, reserved by creating the file: the temporary file
// never replaces, nor later deletes, a file of the user's.
std::wstring reserveTemporary(const std::wstring& target, const std::string& path)
{
    static std::atomic<uint32_t> counter{0};
    const std::wstring stem = target + L".lamino-" + temporaryTag() + L"-";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::wstring name = stem + std::to_wstring(counter++) + L".part";
        HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return name;
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            checkWrite(HRESULT_FROM_WIN32(error), path);
        }
    }
    throw ImageError("cannot write '" + path + "': no free temporary name beside it");
}

}  // namespace

std::optional<ImageIO::Format> ImageIO::formatOf(const std::string& path)
{
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find_first_of("/\\", dot) != std::string::npos) {
        return std::nullopt;
    }
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (extension == "png") {
        return Format::Png;
    }
    if (extension == "tif" || extension == "tiff") {
        return Format::Tiff;
    }
    if (extension == "exr") {
        return Format::Exr;
    }
    return std::nullopt;
}

ImageDepth ImageIO::storedDepth(Format format, ImageDepth depth)
{
    switch (format) {
    case Format::Png: return depth == ImageDepth::Bits8 ? ImageDepth::Bits8 : ImageDepth::Bits16;
    case Format::Tiff: return depth;
    case Format::Exr: return ImageDepth::Float32;
    }
    return depth;
}

void ImageIO::write(const Image& image, const std::string& path, const WriteOptions& options)
{
    std::optional<Format> format = formatOf(path);
    if (!format) {
        throw ImageError("cannot write '" + path
                         + "': the name must end in .png, .tif, .tiff or .exr");
    }
    writeAs(*format, image, path, options);
}

void ImageIO::writePng(const Image& image, const std::string& path)
{
    writeAs(Format::Png, image, path, {});
}

void ImageIO::writeAs(Format format, const Image& image, const std::string& path,
                      const WriteOptions& options)
{
    if (!image.holdsPixels()) {
        throw ImageError("cannot write '" + path + "': the image has no pixels");
    }
    // The file goes to a temporary file beside the target first, so that a failed write never
    // leaves a truncated file under the requested name nor replaces a file that was there.
    std::wstring widePath = utf8ToWide(path);
    std::wstring temporary = reserveTemporary(widePath, path);
    try {
        encode(format, image, options, temporary, path);
    } catch (...) {
        DeleteFileW(temporary.c_str());
        throw;
    }
    if (!MoveFileExW(temporary.c_str(), widePath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DWORD error = GetLastError();
        DeleteFileW(temporary.c_str());
        checkWrite(HRESULT_FROM_WIN32(error), path);
    }
}

}  // namespace Tessarine::Lamino
