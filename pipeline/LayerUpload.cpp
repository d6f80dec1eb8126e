#include "pipeline/LayerUpload.h"

#include <new>
#include <vector>

#include <glbinding/gl/gl.h>

#include "pipeline/HostWorld.h"
#include "pipeline/PixelFormat.h"

using namespace gl;

namespace Tessarine::Lamino {

namespace {

// The 16-bit host's full scale is 32768. Its texels are brought to full scale (1.0) like the
// other formats', so that alpha blends and premultiplies alike; the output conversion divides by
// this multiplier to land back on 32768 when read back as a fraction of 65535.
constexpr float kAe16Multiplier = 65535.0f / 32768.0f;
constexpr float kAe16FullScale = 32768.0f;

// The texture being filled; deleted again if an error ends the upload. Either way GL is left
// with no texture bound and GL_UNPACK_ROW_LENGTH at 0.
class PendingTexture {
public:
    PendingTexture()
    {
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
    }

    ~PendingTexture()
    {
        if (name != 0) {
            unbind();
            glDeleteTextures(1, &name);
        }
    }

    PendingTexture(const PendingTexture&) = delete;
    PendingTexture& operator=(const PendingTexture&) = delete;

    GLuint release()
    {
        unbind();
        const GLuint made = name;
        name = 0;
        return made;
    }

private:
    static void unbind()
    {
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glBindTexture(GL_TEXTURE_2D, 0);
    }

    GLuint name = 0;
};

// A layer beyond the driver's largest texture would upload nothing and draw as an empty frame
// reported as success; the host gets an error instead.
void requireTextureFits(const PF_EffectWorld* layer)
{
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    if (layer->width > largest || layer->height > largest) {
        throw int(PF_Err_BAD_CALLBACK_PARAM);
    }
}

void allocateLevel(const PF_EffectWorld* layer)
{
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(GL_LINEAR));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(GL_LINEAR));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLint>(GL_CLAMP_TO_EDGE));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLint>(GL_CLAMP_TO_EDGE));
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(GL_RGBA32F), layer->width, layer->height, 0,
                 GL_RGBA, GL_FLOAT, nullptr);
}

// 8-bit worlds go straight from the host's rows; the row length skips their padding.
void uploadHostRows(PF_EffectWorld* layer, PF_InData* in_data, size_t pixelBytes, GLenum glType)
{
    const void* pixels = hostPixels(in_data, layer, pixelBytes);
    glPixelStorei(GL_UNPACK_ROW_LENGTH,
                  static_cast<GLint>(layer->rowbytes / static_cast<A_long>(pixelBytes)));
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, layer->width, layer->height, GL_RGBA, glType, pixels);
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

// 16-bit worlds are scaled from the host's 0..32768 to 0..1 on the way, into a dense buffer.
void uploadScaled16BitPixels(PF_EffectWorld* layer, PF_InData* in_data)
{
    std::vector<PF_PixelFloat> buffer = denseBuffer(layer);
    const auto* base = static_cast<const uint8_t*>(hostPixels(in_data, layer, sizeof(PF_Pixel16)));
    PF_PixelFloat* out = buffer.data();
    for (A_long y = 0; y < layer->height; ++y) {
        const auto* row = reinterpret_cast<const PF_Pixel16*>(base + size_t(y) * layer->rowbytes);
        for (A_long x = 0; x < layer->width; ++x, ++out) {
            *out = {row[x].alpha / kAe16FullScale, row[x].red / kAe16FullScale,
                    row[x].green / kAe16FullScale, row[x].blue / kAe16FullScale};
        }
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, layer->width);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, layer->width, layer->height, GL_RGBA, GL_FLOAT,
                    buffer.data());
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

GLuint uploadLayer(uint32_t pixelFormat, PF_EffectWorld* layer, PF_InData* in_data,
                   size_t& pixelBytes, GLenum& glType, float& multiplier)
{
    requireWorld(layer);
    requireTextureFits(layer);
    PendingTexture texture;
    allocateLevel(layer);
    multiplier = 1.0f;
    switch (pixelFormat) {
    case kPixelFormatArgb:
        glType = GL_UNSIGNED_BYTE;
        pixelBytes = sizeof(PF_Pixel8);
        uploadHostRows(layer, in_data, pixelBytes, glType);
        break;
    case kPixelFormatAe16:
        glType = GL_UNSIGNED_SHORT;
        pixelBytes = sizeof(PF_Pixel16);
        multiplier = kAe16Multiplier;
        uploadScaled16BitPixels(layer, in_data);
        break;
    case kPixelFormatAe32:
        glType = GL_FLOAT;
        pixelBytes = sizeof(PF_PixelFloat);
        uploadFloatPixels(layer, in_data);
        break;
    default:
        throw int(PF_Err_BAD_CALLBACK_PARAM);
    }
    return texture.release();
}

PF_Err copyFloatPixelIn(void* refcon, A_long x, A_long y, PF_PixelFloat* in, PF_PixelFloat*)
{
    PF_PixelFloat* slot = denseBufferPixel(static_cast<FloatCopyContext*>(refcon), x, y);
    if (slot && in) {
        *slot = *in;
    }
    return PF_Err_NONE;
}

} // namespace Tessarine::Lamino
