#include "imagefiles/SourceFile.h"

#include "imagefiles/ImageError.h"
#include "unicode/Utf8.h"

#include <cstring>

namespace Tessarine::Lamino {

SourceFile::SourceFile(const std::string& path) : shownPath(path), wide(utf8ToWide(path))
{
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        fail("no such file");
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        fail("it is a folder, not an image file");
    }
    // Shared as the C runtime's files are, so that a file another program holds open for
    // writing can still be read, as before.
    handle = CreateFileW(wide.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        fail("the file cannot be opened (access denied)");
    }
    LARGE_INTEGER size = {};
    GetFileSizeEx(handle, &size);
    fileSize = uint64_t(size.QuadPart);
    first.resize(size_t(std::min<uint64_t>(fileSize, kHeadSize)));
    read(0, first.data(), first.size());
}

SourceFile::~SourceFile()
{
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
}

bool SourceFile::startsWith(const char* signature, size_t length) const
{
    return first.size() >= length && std::memcmp(first.data(), signature, length) == 0;
}

void SourceFile::read(uint64_t offset, void* out, size_t count) const
{
    if (!holds(offset, count)) {
        damaged("it ends before the data its header describes");
    }
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(offset);
    if (!SetFilePointerEx(handle, at, nullptr, FILE_BEGIN)) {
        fail("the file cannot be read");
    }
    char* target = static_cast<char*>(out);
    while (count > 0) {
        DWORD piece = DWORD(std::min<size_t>(count, 1u << 30)), got = 0;
        if (!ReadFile(handle, target, piece, &got, nullptr) || got == 0) {
            fail("the file cannot be read");
        }
        target += got;
        count -= got;
    }
}

std::vector<uint8_t> SourceFile::bytes(uint64_t offset, size_t count) const
{
    if (!holds(offset, count)) {
        damaged("it ends before the data its header describes");
    }
    std::vector<uint8_t> result(count);
    read(offset, result.data(), count);
    return result;
}

bool SourceFile::Cursor::next(uint8_t& byte)
{
    if (at < bufferAt || at >= bufferAt + buffer.size()) {
        if (at >= file.size()) {
            return false;
        }
        buffer.resize(size_t(std::min<uint64_t>(file.size() - at, 1u << 16)));
        file.read(at, buffer.data(), buffer.size());
        bufferAt = at;
    }
    byte = buffer[size_t(at - bufferAt)];
    ++at;
    return true;
}

bool SourceFile::Cursor::take(void* out, size_t count)
{
    if (!file.holds(at, count)) {
        return false;
    }
    uint8_t* target = static_cast<uint8_t*>(out);
    for (size_t i = 0; i < count; ++i) {
        next(target[i]);
    }
    return true;
}

bool SourceFile::Cursor::skip(uint64_t count)
{
    if (!file.holds(at, count)) {
        return false;
    }
    at += count;
    return true;
}

void SourceFile::fail(const std::string& reason) const
{
    throw ImageError("cannot read '" + shownPath + "': " + reason);
}

void SourceFile::damaged(const std::string& detail) const
{
    fail("the file is damaged or truncated" + (detail.empty() ? "" : " (" + detail + ")"));
}

}  // namespace Tessarine::Lamino
