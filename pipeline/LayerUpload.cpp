#include "pipeline/LayerUpload.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include <glbinding/gl/gl.h>

#include "gl/GpuFailure.h"
#include "pipeline/HostWorld.h"
#include "pipeline/LayerTexture.h"
#include "pipeline/PixelFormat.h"

using namespace gl;

namespace Tessarine::Lamino {

namespace {

// Whatever happens during the transfer, GL is left with no texture bound and the default row
// length.
class UnpackScope {
public:
    UnpackScope() = default;
    ~UnpackScope()
    {
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    UnpackScope(const UnpackScope&) = delete;
    UnpackScope& operator=(const UnpackScope&) = delete;
};

// A layer beyond the driver's largest texture would upload nothing and draw as an empty frame.
void requireTextureFits(const PF_EffectWorld* layer)
{
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    if (layer->width > largest || layer->height > largest) {
        throw GpuFailure{GpuFailure::Kind::TooLarge, largest};
    }
}

// 8- and 16-bit worlds go straight from the host's rows; the row length skips their padding.
void uploadHostRows(const LayerFormat& format, PF_EffectWorld* layer, PF_InData* in_data)
{
    const void* pixels = hostPixels(in_data, layer, format.pixelBytes);
    glPixelStorei(GL_UNPACK_ROW_LENGTH,
                  static_cast<GLint>(layer->rowbytes / static_cast<A_long>(format.pixelBytes)));
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, layer->width, layer->height, GL_RGBA, format.glType,
                    pixels);
}

std::vector<PF_PixelFloat> denseBuffer(const PF_EffectWorld* layer)
{
    try {
        return std::vector<PF_PixelFloat>(static_cast<size_t>(layer->width) *
                                          static_cast<size_t>(layer->height));
    } catch (const std::bad_alloc&) {
        throw int(PF_Err_OUT_OF_MEMORY);
    }
}

// Float worlds are reached only through the host's iteration, into a dense buffer first.
void uploadFloatPixels(PF_EffectWorld* layer, PF_InData* in_data)
{
    std::vector<PF_PixelFloat> buffer = denseBuffer(layer);
    FloatCopyContext context{buffer.data(), layer};
    iterateFloatPixels(in_data, layer->height, layer, &context, copyFloatPixelIn, layer);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, layer->width);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, layer->width, layer->height, GL_RGBA, GL_FLOAT,
                    buffer.data());
}

} // namespace

GLuint uploadLayer(const LayerFormat& format, PF_EffectWorld* layer, PF_InData* in_data,
                   LayerTexture& texture)
{
    requireWorld(layer);
    if (layer->width == 0 || layer->height == 0) {
        return 0;
    }
    requireTextureFits(layer);
    UnpackScope unpack;
    texture.allocate(layer->width, layer->height, format.internalFormat);
    if (format.pixelFormat == kPixelFormatAe32) {
        uploadFloatPixels(layer, in_data);
    } else {
        uploadHostRows(format, layer, in_data);
    }
    return texture.name();
}

float finiteSample(float value)
{
    if (std::isnan(value)) {
        return 0.0f;
    }
    return std::clamp(value, -kLargestFloatSample, kLargestFloatSample);
}

PF_Err copyFloatPixelIn(void* refcon, A_long x, A_long y, PF_PixelFloat* in, PF_PixelFloat*)
{
    PF_PixelFloat* slot = denseBufferPixel(static_cast<FloatCopyContext*>(refcon), x, y);
    if (slot && in) {
        slot->alpha = finiteSample(in->alpha);
        slot->red = finiteSample(in->red);
        slot->green = finiteSample(in->green);
        slot->blue = finiteSample(in->blue);
    }
    return PF_Err_NONE;
}

} // namespace Tessarine::Lamino
