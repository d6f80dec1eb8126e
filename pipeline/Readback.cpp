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

// The part of the frame that the output world holds: its columns and rows from the area's
// position on.
struct Overlap {
    int32_t columns;
    int32_t rows;
};

Overlap overlapOf(const FrameArea& area, const PF_EffectWorld* output)
{
    const int32_t columns = std::min(area.width - area.x, output->width);
    const int32_t rows = std::min(area.height - area.y, output->height);
    return {std::max(columns, 0), std::max(rows, 0)};
}

// The overlap of frame and output world, read straight into the output world's rows.
void readIntoRows(const FrameArea& area, PF_EffectWorld* output, PF_InData* in_data,
                  const LayerFormat& format)
{
    unsigned char* target = hostPixels(in_data, output, format.pixelBytes);
    const Overlap overlap = overlapOf(area, output);
    if (overlap.rows == 0 || overlap.columns == 0) {
        return;
    }
    glPixelStorei(GL_PACK_ROW_LENGTH,
                  static_cast<GLint>(output->rowbytes / static_cast<A_long>(format.pixelBytes)));
    glReadPixels(area.x, area.y, overlap.columns, overlap.rows, GL_RGBA, format.glType, target);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
}

// The host iterates over the output world; the context's world gives the frame's shape, so
// that pixels beyond the frame are left alone.
void copyFloatFrame(unsigned char* frame, int32_t width, int32_t height, PF_EffectWorld* output,
                    PF_InData* in_data)
{
    PF_EffectWorld frameShape = *output;
    frameShape.width = width;
    frameShape.height = height;
    FloatCopyContext context{reinterpret_cast<PF_PixelFloat*>(frame), &frameShape};
    // The output is iterated in place: the pixel function writes each pixel from the buffer.
    iterateFloatPixels(in_data, output->height, output, &context, copyFloatPixelOut, output);
}

// The overlap into a host handle, then into the output world through the host's iteration.
void readThroughHandle(const FrameArea& area, PF_EffectWorld* output, PF_InData* in_data,
                       const LayerFormat& format)
{
    requireWorld(output);
    const Overlap overlap = overlapOf(area, output);
    SuiteScope handles(in_data->pica_basicP, kPFHandleSuite, kPFHandleSuiteVersion1);
    // At least one pixel's worth, so that an empty overlap still goes the host's usual way.
    const A_HandleSize size = std::max<A_HandleSize>(
        static_cast<A_HandleSize>(overlap.columns) * static_cast<A_HandleSize>(overlap.rows) *
            format.pixelBytes,
        format.pixelBytes);
    LockedHandle frame(*handles.get<PF_HandleSuite1>(), size);
    if (overlap.columns > 0 && overlap.rows > 0) {
        glReadPixels(area.x, area.y, overlap.columns, overlap.rows, GL_RGBA, format.glType,
                     frame.data());
    }
    copyFloatFrame(frame.data(), overlap.columns, overlap.rows, output, in_data);
}

} // namespace

void readBackOutput(const FrameArea& area, PF_EffectWorld* output, PF_InData* in_data,
                    const LayerFormat& format)
{
    if (!in_data || area.width < 0 || area.height < 0 || area.x < 0 || area.y < 0) {
        throw int(PF_Err_BAD_CALLBACK_PARAM);
    }
    requireWorld(output);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    if (format.pixelFormat == kPixelFormatAe32) {
        readThroughHandle(area, output, in_data, format);
    } else {
        readIntoRows(area, output, in_data, format);
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
