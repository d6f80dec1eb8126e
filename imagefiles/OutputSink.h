#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <string>

namespace Tessarine::Lamino {

// A file being written, the temporary file an image goes to before it gets its name. Every
// write is checked, a short one included (as on a full disk, where Windows' and Wine's encoders
// may report success after it), and the first failure is kept, so that the writer reports it
// even when the encoder does not. Encoders write through it directly, through comStream() (WIC)
// or through an OpenEXR stream. Owns the file handle; one thread at a time.
class OutputSink {
public:
    static constexpr uint64_t kNoLimit = UINT64_MAX;

    // Takes over an open handle of a file opened for reading and writing.
    OutputSink(HANDLE handle, const std::string& shownPath);
    ~OutputSink();
    OutputSink(const OutputSink&) = delete;
    OutputSink& operator=(const OutputSink&) = delete;

    // Writes at the current position; does nothing once a write has failed.
    void write(const void* data, size_t count);
    // Reads at the current position; the count read.
    size_t read(void* data, size_t count);
    void seek(uint64_t offset);
    uint64_t position() const { return at; }
    // The name messages give the file being written (the target's, not the temporary's).
    const std::string& path() const { return shownPath; }
    // The end of the furthest write.
    uint64_t extent() const { return end; }
    bool failed() const { return failure != 0; }

    // Flushes and closes the file, then checks that it holds every byte written; throws an
    // ImageError ("cannot write 'PATH': the disk is full") for any failure.
    void finish();
    // Throws the failure kept, if any.
    void throwIfFailed() const;

    // A COM stream over this sink for WIC's encoders; the sink must outlive it.
    IStream* comStream();

    // Makes every sink fail its writes once its file would grow past `bytes`, after a short
    // write, as a full disk does; kNoLimit ends it. For tests.
    static void limitBytesForTesting(uint64_t bytes);

private:
    void fail(DWORD error);

    HANDLE handle;
    std::string shownPath;
    uint64_t at = 0;
    uint64_t end = 0;
    DWORD failure = 0;
    IStream* stream = nullptr;
};

}  // namespace Tessarine::Lamino
