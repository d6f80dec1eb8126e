#include "imagefiles/OutputSink.h"

#include "imagefiles/ImageError.h"

#include <algorithm>
#include <atomic>

namespace Tessarine::Lamino {

namespace {

std::atomic<uint64_t> byteLimit{OutputSink::kNoLimit};

// IStream over an OutputSink, as WIC's encoders write: reference counted, but living no longer
// than its sink, which releases its own reference when it goes.
class SinkStream : public IStream {
public:
    explicit SinkStream(OutputSink& sink) : sink(sink) { }
    virtual ~SinkStream() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_ISequentialStream)
            || IsEqualIID(id, IID_IStream)) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --references;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE Read(void* data, ULONG count, ULONG* got) override
    {
        ULONG read = ULONG(sink.read(data, count));
        if (got) {
            *got = read;
        }
        return read == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG count, ULONG* written) override
    {
        sink.write(data, count);
        if (written) {
            *written = sink.failed() ? 0 : count;
        }
        return sink.failed() ? STG_E_MEDIUMFULL : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* now) override
    {
        int64_t base = origin == STREAM_SEEK_CUR ? int64_t(sink.position())
            : origin == STREAM_SEEK_END          ? int64_t(sink.extent())
                                                 : 0;
        int64_t target = base + move.QuadPart;
        if (target < 0) {
            return STG_E_INVALIDFUNCTION;
        }
        sink.seek(uint64_t(target));
        if (now) {
            now->QuadPart = sink.position();
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                     ULARGE_INTEGER*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override
    {
        return sink.failed() ? STG_E_MEDIUMFULL : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override
    {
        ZeroMemory(stat, sizeof *stat);
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = sink.extent();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream** copy) override
    {
        *copy = nullptr;
        return E_NOTIMPL;
    }

private:
    OutputSink& sink;
    std::atomic<ULONG> references{1};
};

}  // namespace

OutputSink::OutputSink(HANDLE handle, const std::string& shownPath)
    : handle(handle), shownPath(shownPath)
{
}

OutputSink::~OutputSink()
{
    if (stream) {
        stream->Release();
    }
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
}

void OutputSink::fail(DWORD error)
{
    if (failure == 0) {
        failure = error == 0 ? ERROR_DISK_FULL : error;
    }
}

void OutputSink::write(const void* data, size_t count)
{
    const char* bytes = static_cast<const char*>(data);
    uint64_t limit = byteLimit;
    while (!failed() && count > 0) {
        DWORD piece = DWORD(std::min<size_t>(count, 1u << 30));
        if (limit != kNoLimit && at + piece > limit) {
            piece = DWORD(limit > at ? limit - at : 0);  // the short write of a full disk
        }
        DWORD written = 0;
        BOOL ok = piece > 0 && WriteFile(handle, bytes, piece, &written, nullptr);
        at += written;
        end = std::max(end, at);
        if (!ok || written < std::min<size_t>(count, 1u << 30)) {
            fail(piece == 0 || ok ? DWORD(ERROR_DISK_FULL) : GetLastError());
            return;
        }
        bytes += written;
        count -= written;
    }
}

size_t OutputSink::read(void* data, size_t count)
{
    DWORD got = 0;
    if (!ReadFile(handle, data, DWORD(std::min<size_t>(count, 1u << 30)), &got, nullptr)) {
        return 0;
    }
    at += got;
    return got;
}

void OutputSink::seek(uint64_t offset)
{
    LARGE_INTEGER target;
    target.QuadPart = LONGLONG(offset);
    if (!SetFilePointerEx(handle, target, nullptr, FILE_BEGIN)) {
        fail(GetLastError());
        return;
    }
    at = offset;
}

IStream* OutputSink::comStream()
{
    if (!stream) {
        stream = new SinkStream(*this);
    }
    return stream;
}

void OutputSink::throwIfFailed() const
{
    if (!failed()) {
        return;
    }
    std::string reason;
    switch (failure) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: reason = "the disk is full"; break;
    case ERROR_ACCESS_DENIED: reason = "access denied"; break;
    default: reason = "the file could not be written (Windows error " + std::to_string(failure) + ")";
    }
    throw ImageError("cannot write '" + shownPath + "': " + reason);
}

void OutputSink::finish()
{
    if (!failed() && !FlushFileBuffers(handle)) {
        fail(GetLastError());
    }
    LARGE_INTEGER size = {};
    if (!failed() && (!GetFileSizeEx(handle, &size) || uint64_t(size.QuadPart) != end)) {
        fail(ERROR_DISK_FULL);
    }
    CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
    throwIfFailed();
}

void OutputSink::limitBytesForTesting(uint64_t bytes)
{
    byteLimit = bytes;
}

}  // namespace Tessarine::Lamino
