#include "imagefiles/ImageIO.h"

#include "imagefiles/OutputSink.h"
#include "imagefiles/PngFile.h"
#include "imagefiles/SourceFile.h"
#include "unicode/Utf8.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace Tessarine::Lamino {

namespace {

// A size beyond the limits, refused from the header, in one form whichever limit it meets.
void requireWithin(const ImageLayout& layout, const ImageIO::ReadLimits& limits,
                   const SourceFile& file)
{
    const std::string size = std::to_string(layout.width) + " x "
        + std::to_string(layout.height) + " pixels";
    if (layout.width <= 0 || layout.height <= 0) {
        file.damaged("its header gives it " + size);
    }
    const int64_t side = std::min<int64_t>(limits.maxSide, ImageIO::kMaxSide);
    if (layout.width > side || layout.height > side) {
        file.fail(size + "; " + (limits.sideIsTheGpus && side == limits.maxSide
                                     ? "the GPU renders at most " + std::to_string(side)
                                           + " pixels a side"
                                     : "at most " + std::to_string(side)
                                           + " pixels a side are read"));
    }
    if (layout.width * layout.height > limits.maxPixels) {
        file.fail(size + "; at most " + std::to_string(limits.maxPixels) + " pixels are read"
                  + (limits.maxPixelsSetBy
                         ? " (" + std::string(limits.maxPixelsSetBy) + " sets the limit)"
                         : ""));
    }
}

}  // namespace

ImageIO::FileLayout ImageIO::probe(const std::string& path)
{
    SourceFile file(path);
    return ImageFormats::recognise(file).readHeader(file);
}

Image ImageIO::read(const std::string& path)
{
    return readAtFileDepth(path).converted(ImageDepth::Bits8);
}

Image ImageIO::readAtFileDepth(const std::string& path, const ReadLimits& limits)
{
    SourceFile file(path);
    const ImageFormat& format = ImageFormats::recognise(file);
    ImageLayout layout = format.readHeader(file);
    requireWithin(layout, limits, file);
    return format.decode(file, layout);
}

namespace {


// A Windows failure while creating, writing or renaming an output file, in words.
void checkWrite(DWORD error, const std::string& path)
{
    std::string reason;
    switch (error) {
    case ERROR_SUCCESS: return;
    case ERROR_PATH_NOT_FOUND: reason = "its folder does not exist"; break;
    case ERROR_ACCESS_DENIED: reason = "access denied"; break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: reason = "the disk is full"; break;
    case ERROR_WRITE_PROTECT: reason = "the disk is write-protected"; break;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME: reason = "it is not a valid file name"; break;
    case ERROR_FILENAME_EXCED_RANGE: reason = "the name is too long"; break;
    default: reason = "Windows refused it (error " + hresultText(HRESULT_FROM_WIN32(error)) + ")";
    }
    throw ImageError("cannot write '" + path + "': " + reason);
}

// Names Windows keeps for devices whatever their extension: "con.png" is the console.
bool isDeviceName(std::wstring stem)
{
    static const wchar_t* const kDevices[] = {L"con", L"prn", L"aux", L"nul", L"conin$",
                                              L"conout$"};
    while (!stem.empty() && (stem.back() == L' ' || stem.back() == L'.')) {
        stem.pop_back();
    }
    CharLowerBuffW(stem.data(), DWORD(stem.size()));
    for (const wchar_t* device : kDevices) {
        if (stem == device) {
            return true;
        }
    }
    return stem.size() == 4 && (stem.compare(0, 3, L"com") == 0 || stem.compare(0, 3, L"lpt") == 0)
        && stem[3] >= L'1' && stem[3] <= L'9';
}

// Refuses, before any work, an output name that cannot be a file: a folder, a device name,
// a name with characters Windows does not allow.
void checkOutputName(const std::wstring& target, const std::string& path)
{
    const size_t slash = target.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? target : target.substr(slash + 1);
    if (name.find_first_of(L"<>:\"|?*") != std::wstring::npos
        || std::any_of(name.begin(), name.end(), [](wchar_t c) { return c < 32; })) {
        throw ImageError("cannot write '" + path
                         + "': the name holds a character Windows does not allow in file names "
                           "(< > : \" | ? * or a control character)");
    }
    if (isDeviceName(name.substr(0, name.find(L'.')))) {
        throw ImageError("cannot write '" + path + "': '" + wideToUtf8(name.substr(0, name.find(L'.')))
                         + "' is a name Windows keeps for a device, not a file");
    }
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        throw ImageError("cannot write '" + path + "': it is a folder");
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

// The target's name with `suffix`, the name cut so that it stays within the 255 characters a
// file name may have: a legal name of 235 to 255 characters still gets a temporary name.
std::wstring shortenedTo255(const std::wstring& target, const std::wstring& suffix)
{
    constexpr size_t kLongestName = 255;
    const size_t slash = target.find_last_of(L"\\/");
    const size_t nameAt = slash == std::wstring::npos ? 0 : slash + 1;
    size_t keep = target.size() - nameAt;
    if (keep + suffix.size() > kLongestName) {
        keep = kLongestName - suffix.size();
        if (keep > 0 && IS_HIGH_SURROGATE(target[nameAt + keep - 1])) {
            --keep;  // never half of a character
        }
    }
    return target.substr(0, nameAt + keep) + suffix;
}

// A name beside the target that no file had, reserved by creating the file: the temporary file
// never replaces, nor later deletes, a file of the user's. The handle is open for writing.
std::wstring reserveTemporary(const std::wstring& target, const std::string& path, HANDLE& handle)
{
    static std::atomic<uint32_t> counter{0};
    const std::wstring tag = L".lamino-" + temporaryTag() + L"-";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::wstring name = shortenedTo255(target, tag + std::to_wstring(counter++) + L".part");
        handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            return name;
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            checkWrite(error, path);
        }
    }
    throw ImageError("cannot write '" + path + "': no free temporary name beside it");
}

// Reads the written file's header back: a file that does not read as what was written (cut
// short by a disk that filled up without saying so) never replaces the target.
void verifyWritten(const std::wstring& temporary, const ImageFormat& format, const Image& image,
                   const std::string& path)
{
    bool same = false;
    try {
        SourceFile file(wideToUtf8(temporary));
        ImageLayout layout = format.readHeader(file);
        same = format.recognises(file) && layout.width == image.width
            && layout.height == image.height && layout.depth == format.storedDepth(image.depth);
    } catch (const ImageError&) {
    }
    if (!same) {
        throw ImageError("cannot write '" + path
                         + "': the file written does not read back as the image (is the disk "
                           "full?)");
    }
}

}  // namespace

ImageIO::PendingWrite::PendingWrite(std::wstring temporary, std::wstring target,
                                    std::string shownPath)
    : temporary(std::move(temporary)), target(std::move(target)), shownPath(std::move(shownPath))
{
}

ImageIO::PendingWrite::PendingWrite(PendingWrite&& other) noexcept
    : temporary(std::move(other.temporary)), target(std::move(other.target)),
      shownPath(std::move(other.shownPath))
{
    other.temporary.clear();
}

ImageIO::PendingWrite& ImageIO::PendingWrite::operator=(PendingWrite&& other) noexcept
{
    if (this != &other) {
        discard();
        temporary = std::move(other.temporary);
        target = std::move(other.target);
        shownPath = std::move(other.shownPath);
        other.temporary.clear();
    }
    return *this;
}

ImageIO::PendingWrite::~PendingWrite()
{
    discard();
}

void ImageIO::PendingWrite::discard()
{
    if (!temporary.empty()) {
        DeleteFileW(temporary.c_str());
        temporary.clear();
    }
}

void ImageIO::PendingWrite::commit()
{
    if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DWORD error = GetLastError();
        discard();
        checkWrite(error, shownPath);
    }
    temporary.clear();
}

const ImageFormat* ImageIO::formatOf(const std::string& path, ImageDepth depth)
{
    const ImageFormat* format = ImageFormats::forOutput(path, depth);
    return format && format->encode ? format : nullptr;
}

ImageDepth ImageIO::storedDepth(const std::string& path, ImageDepth depth)
{
    const ImageFormat* format = formatOf(path, depth);
    return format ? format->storedDepth(depth) : depth;
}

void ImageIO::write(const Image& image, const std::string& path, const WriteOptions& options)
{
    prepare(image, path, options).commit();
}

ImageIO::PendingWrite ImageIO::prepare(const Image& image, const std::string& path,
                                       const WriteOptions& options)
{
    const ImageFormat* format = formatOf(path, image.depth);
    if (!format) {
        throw ImageError("cannot write '" + path
                         + "': the name must end in .png, .tif, .tiff or .exr");
    }
    return prepareAs(*format, image, path, options);
}

void ImageIO::writePng(const Image& image, const std::string& path)
{
    prepareAs(PngFile::format(), image, path, {}).commit();
}

ImageIO::PendingWrite ImageIO::prepareAs(const ImageFormat& format, const Image& image,
                                         const std::string& path, const WriteOptions& options)
{
    if (!image.holdsPixels()) {
        throw ImageError("cannot write '" + path + "': the image has no pixels");
    }
    // The file goes to a temporary file beside the target first, so that a failed write never
    // leaves a truncated file under the requested name nor replaces a file that was there.
    std::wstring widePath = utf8ToWide(path);
    checkOutputName(widePath, path);
    HANDLE handle = INVALID_HANDLE_VALUE;
    PendingWrite pending(reserveTemporary(widePath, path, handle), widePath, path);
    {
        OutputSink sink(handle, path);
        format.encode(image, options, sink);
        sink.finish();
    }
    verifyWritten(pending.temporary, format, image, path);
    return pending;
}

}  // namespace Tessarine::Lamino
