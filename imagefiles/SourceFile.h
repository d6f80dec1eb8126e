#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Tessarine::Lamino {

// An image file opened for reading: the name messages give it, its UTF-16 path (converted
// once), its size and first bytes, and reads at any offset that refuse to go past its end, so
// that a header's promises can be checked against the file before anything is allocated for
// them. Owns the file handle; one thread at a time.
class SourceFile {
public:
    static constexpr size_t kHeadSize = 64;

    // Opens the file; throws ImageError when there is none, it is a folder, or it cannot be
    // opened.
    explicit SourceFile(const std::string& path);
    ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    const std::string& path() const { return shownPath; }
    const std::wstring& widePath() const { return wide; }
    uint64_t size() const { return fileSize; }
    // The first kHeadSize bytes, or all of a shorter file.
    const std::vector<uint8_t>& head() const { return first; }
    bool startsWith(const char* signature, size_t length) const;

    // Whether `count` bytes from `offset` lie inside the file.
    bool holds(uint64_t offset, uint64_t count) const
    {
        return offset <= fileSize && count <= fileSize - offset;
    }
    // Reads `count` bytes at `offset`; a read past the end is damage.
    void read(uint64_t offset, void* out, size_t count) const;
    std::vector<uint8_t> bytes(uint64_t offset, size_t count) const;

    // Reads the file in order from an offset, a buffer at a time, for walks over data whose
    // length only its content tells (compressed streams, markers).
    class Cursor {
    public:
        Cursor(const SourceFile& file, uint64_t offset) : file(file), at(offset) { }
        // The next byte; false at the end of the file.
        bool next(uint8_t& byte);
        // The next `count` bytes, or false when the file ends first.
        bool take(void* out, size_t count);
        bool skip(uint64_t count);
        uint64_t offset() const { return at; }

    private:
        const SourceFile& file;
        uint64_t at;
        std::vector<uint8_t> buffer;
        uint64_t bufferAt = 0;
    };

    // "cannot read 'PATH': REASON".
    [[noreturn]] void fail(const std::string& reason) const;
    // "cannot read 'PATH': the file is damaged or truncated (DETAIL)".
    [[noreturn]] void damaged(const std::string& detail = "") const;

private:
    std::string shownPath;
    std::wstring wide;
    HANDLE handle = INVALID_HANDLE_VALUE;
    uint64_t fileSize = 0;
    std::vector<uint8_t> first;
};

}  // namespace Tessarine::Lamino
