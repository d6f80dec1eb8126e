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

// The overlap of frame and output world, read straight into the output world's rows.
void readIntoRows(int32_t width, int32_t height, PF_EffectWorld* output, PF_InData* in_data,
                  const LayerFormat& format)
{
    unsigned char* target = hostPixels(in_data, output, format.pixelBytes);
    const int32_t rows = std::min(height, output->height);
    const int32_t columns = std::min(width, output->width);
    if (rows <= 0 || columns <= 0) {
        return;
    }
    glPixelStorei(GL_PACK_ROW_LENGTH,
                  static_cast<GLint>(output->rowbytes / static_cast<A_long>(format.pixelBytes)));
    glReadPixels(0, 0, columns, rows, GL_RGBA, format.glType, target);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
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

// The frame into a host handle, then into the output world through the host's iteration.
void readThroughHandle(int32_t width, int32_t height, PF_EffectWorld* source,
                       PF_EffectWorld* output, PF_InData* in_data, const LayerFormat& format)
{
    SuiteScope handles(in_data->pica_basicP, kPFHandleSuite, kPFHandleSuiteVersion1);
    const A_HandleSize size =
        static_cast<A_HandleSize>(width) * static_cast<A_HandleSize>(height) * format.pixelBytes;
    LockedHandle frame(*handles.get<PF_HandleSuite1>(), size);
    glReadPixels(0, 0, width, height, GL_RGBA, format.glType, frame.data());
    copyFloatFrame(frame.data(), width, height, source, output, in_data);
}

} // namespace

void readBackOutput(int32_t width, int32_t height, PF_EffectWorld* source, PF_EffectWorld* output,
                    PF_InData* in_data, const LayerFormat& format)
{
    if (!in_data || width < 0 || height < 0) {
        throw int(PF_Err_BAD_CALLBACK_PARAM);
    }
    requireWorld(output);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    if (format.pixelFormat == kPixelFormatAe32) {
        readThroughHandle(width, height, source, output, in_data, format);
    } else {
        readIntoRows(width, height, output, in_data, format);
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
