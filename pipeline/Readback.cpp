#include "pipeline/Readback.h"

#include <algorithm>
#include <cstring>

#include <glbinding/gl/gl.h>

#include "AE_EffectCBSuites.h"
#include "host/SuiteScope.h"
#include "pipeline/HostWorld.h"
#include "pipeline/LayerUpload.h"
#include "pipeline/PixelFormat.h"

using namespace gl;

namespace Tessarine::Lamino {

namespace {

// A locked host memory handle, unlocked and disposed of when it goes, also on an error.
class LockedHandle {
public:
    LockedHandle(const PF_HandleSuite1& suite, A_HandleSize size) : suite(suite)
    {
        if (!suite.host_new_handle || !suite.host_lock_handle || !suite.host_unlock_handle ||
            !suite.host_dispose_handle) {
            throw int(PF_Err_BAD_CALLBACK_PARAM);
        }
        handle = suite.host_new_handle(size);
        if (!handle) {
            throw int(PF_Err_OUT_OF_MEMORY);
        }
        address = static_cast<unsigned char*>(suite.host_lock_handle(handle));
        if (!address) {
            suite.host_dispose_handle(handle);
            throw int(PF_Err_OUT_OF_MEMORY);
        }
    }

    ~LockedHandle()
    {
        suite.host_unlock_handle(handle);
        suite.host_dispose_handle(handle);
    }

    LockedHandle(const LockedHandle&) = delete;
    LockedHandle& operator=(const LockedHandle&) = delete;

    unsigned char* data() const { return address; }

private:
    const PF_HandleSuite1& suite;
    PF_Handle handle = nullptr;
    unsigned char* address = nullptr;
};

// Bytes of one GL_RGBA pixel of the given type; 0 for a type the readback does not use.
size_t bytesPerPixel(GLenum glType)
{
    switch (glType) {
    case GL_UNSIGNED_BYTE:
        return sizeof(PF_Pixel8);
    case GL_UNSIGNED_SHORT:
        return sizeof(PF_Pixel16);
    case GL_FLOAT:
        return sizeof(PF_PixelFloat);
    default:
        return 0;
    }
}

// One block copy per row of what both the frame and the output world hold.
void copyRows(const unsigned char* frame, int32_t width, int32_t height, PF_EffectWorld* output,
              PF_InData* in_data, size_t pixelBytes)
{
    unsigned char* target = hostPixels(in_data, output, pixelBytes);
    const int32_t rows = std::min(height, output->height);
    const size_t rowLength = static_cast<size_t>(std::min(width, output->width)) * pixelBytes;
    const size_t frameStride = static_cast<size_t>(width) * pixelBytes;
    for (int32_t y = 0; y < rows; ++y) {
        std::memcpy(target + static_cast<ptrdiff_t>(y) * output->rowbytes,
                    frame + static_cast<size_t>(y) * frameStride, rowLength);
    }
}

// The host iterates over the output world; the context's world gives the frame's shape, so
// that pixels beyond the frame are left alone.
void copyFloatFrame(unsigned char* frame, int32_t width, int32_t height, PF_EffectWorld* source,
                    PF_EffectWorld* output, PF_InData* in_data)
{
    requireWorld(source);
    PF_EffectWorld frameShape = *source;
    frameShape.width = width;
    frameShape.height = height;
    FloatCopyContext context{reinterpret_cast<PF_PixelFloat*>(frame), &frameShape};
    iterateFloatPixels(in_data, source->height, source, &context, copyFloatPixelOut, output);
}

} // namespace

void readBackOutput(int32_t width, int32_t height, PF_EffectWorld* source, PF_EffectWorld* output,
                    PF_InData* in_data, uint32_t pixelFormat, size_t pixelBytes, GLenum glType)
{
    // glReadPixels writes bytesPerPixel(glType) per pixel into a buffer sized by pixelBytes.
    if (!in_data || width < 0 || height < 0 || pixelBytes == 0 ||
        bytesPerPixel(glType) != pixelBytes) {
        throw int(PF_Err_BAD_CALLBACK_PARAM);
    }
    requireWorld(output);
    SuiteScope handles(in_data->pica_basicP, kPFHandleSuite, kPFHandleSuiteVersion1);
    const A_HandleSize size =
        static_cast<A_HandleSize>(width) * static_cast<A_HandleSize>(height) * pixelBytes;
    LockedHandle frame(*handles.get<PF_HandleSuite1>(), size);

    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glReadPixels(0, 0, width, height, GL_RGBA, glType, frame.data());

    switch (pixelFormat) {
    case kPixelFormatArgb:
    case kPixelFormatAe16: {
        const size_t formatBytes =
            pixelFormat == kPixelFormatArgb ? sizeof(PF_Pixel8) : sizeof(PF_Pixel16);
        if (formatBytes != pixelBytes) {
            throw int(PF_Err_BAD_CALLBACK_PARAM);
        }
        copyRows(frame.data(), width, height, output, in_data, pixelBytes);
        break;
    }
    case kPixelFormatAe32:
        if (pixelBytes != sizeof(PF_PixelFloat)) {
            throw int(PF_Err_BAD_CALLBACK_PARAM);
        }
        copyFloatFrame(frame.data(), width, height, source, output, in_data);
        break;
    default:
        throw int(PF_Err_BAD_CALLBACK_PARAM);
    }
}

PF_Err copyFloatPixelOut(void* refcon, A_long x, A_long y, PF_PixelFloat*, PF_PixelFloat* out)
{
    const PF_PixelFloat* slot = denseBufferPixel(static_cast<FloatCopyContext*>(refcon), x, y);
    if (slot && out) {
        *out = *slot;
    }
    return PF_Err_NONE;
}

} // namespace Tessarine::Lamino
