#include "headless/ImageIO.h"

#include "headless/Utf8.h"

#include <windows.h>
#include <wincodec.h>

#include <atomic>
#include <cstdio>
#include <cstring>
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

void copyBgraToRgba(std::vector<uint8_t>& pixels)
{
    for (size_t i = 0; i + 3 < pixels.size(); i += 4) {
        std::swap(pixels[i], pixels[i + 2]);
    }
}

}  // namespace

Image::Image(int32_t width, int32_t height)
    : width(width), height(height), rgba(size_t(width) * size_t(height) * 4, 0)
{
}

Image ImageIO::read(const std::string& path)
{
    std::wstring widePath = utf8ToWide(path);
    requireReadableFile(widePath, path);
    ComScope com;
    ComRef<IWICImagingFactory> factory;
    createFactory(factory, path);

    ComRef<IWICBitmapDecoder> decoder;
    check(openDecoder(factory.get(), widePath, path, decoder.out()), path, "read");
    ComRef<IWICBitmapFrameDecode> frame;
    check(decoder->GetFrame(0, frame.out()), path, "read");
    UINT width = 0, height = 0;
    check(frame->GetSize(&width, &height), path, "read");
    if (width == 0 || height == 0 || width > UINT(kMaxSide) || height > UINT(kMaxSide)) {
        throw ImageError("cannot read '" + path + "': its size " + std::to_string(width) + " x "
                         + std::to_string(height) + " is outside 1 to " + std::to_string(kMaxSide)
                         + " pixels per side");
    }
    ComRef<IWICFormatConverter> converter;
    check(factory->CreateFormatConverter(converter.out()), path, "read");
    check(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                nullptr, 0.0, WICBitmapPaletteTypeCustom),
          path, "convert");

    Image image;
    try {
        image = Image(int32_t(width), int32_t(height));
    } catch (const std::bad_alloc&) {
        throw ImageError("cannot read '" + path + "': not enough memory for its pixels");
    }
    UINT stride = width * 4;
    check(converter->CopyPixels(nullptr, stride, UINT(image.rgba.size()), image.rgba.data()), path,
          "decode");
    copyBgraToRgba(image.rgba);
    return image;
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

void encodePng(IWICImagingFactory* factory, const Image& image, const std::wstring& widePath,
               const std::string& path)
{
    ComRef<IWICStream> stream;
    checkWrite(factory->CreateStream(stream.out()), path);
    checkWrite(stream->InitializeFromFilename(widePath.c_str(), GENERIC_WRITE), path);
    ComRef<IWICBitmapEncoder> encoder;
    checkWrite(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out()), path);
    checkWrite(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache), path);
    ComRef<IWICBitmapFrameEncode> frame;
    checkWrite(encoder->CreateNewFrame(frame.out(), nullptr), path);
    checkWrite(frame->Initialize(nullptr), path);
    checkWrite(frame->SetSize(UINT(image.width), UINT(image.height)), path);
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    checkWrite(frame->SetPixelFormat(&format), path);
    if (!IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA)) {
        throw ImageError("cannot write '" + path + "': the PNG encoder refuses 32-bit BGRA pixels");
    }
    std::vector<uint8_t> bgra = image.rgba;
    copyBgraToRgba(bgra);
    UINT stride = UINT(image.width) * 4;
    checkWrite(frame->WritePixels(UINT(image.height), stride, UINT(bgra.size()), bgra.data()),
               path);
    checkWrite(frame->Commit(), path);
    checkWrite(encoder->Commit(), path);
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

void ImageIO::writePng(const Image& image, const std::string& path)
{
    if (image.width <= 0 || image.height <= 0
        || image.rgba.size() != size_t(image.width) * size_t(image.height) * 4) {
        throw ImageError("cannot write '" + path + "': the image has no pixels");
    }
    ComScope com;
    ComRef<IWICImagingFactory> factory;
    createFactory(factory, path);
    // The PNG goes to a temporary file beside the target first, so that a failed write never
    // leaves a truncated file under the requested name nor replaces a file that was there.
    std::wstring widePath = utf8ToWide(path);
    std::wstring temporary = reserveTemporary(widePath, path);
    try {
        encodePng(factory.get(), image, temporary, path);
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
