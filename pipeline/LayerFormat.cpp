#include "pipeline/LayerFormat.h"

#include <glbinding/gl/enum.h>

#include "AE_Effect.h"
#include "pipeline/PixelFormat.h"

using namespace gl;

namespace Tessarine::Lamino {

namespace {

constexpr float kHost16FullScale = 32768.0f;
constexpr float kGl16FullScale = 65535.0f;

} // namespace

LayerFormat layerFormat(uint32_t pixelFormat)
{
    switch (pixelFormat) {
    case kPixelFormatArgb:
        return {pixelFormat, sizeof(PF_Pixel8), GL_UNSIGNED_BYTE, GL_RGBA8, 1.0f, 1.0f,
                0.5f / 255.0f};
    case kPixelFormatAe16:
        return {pixelFormat, sizeof(PF_Pixel16), GL_UNSIGNED_SHORT, GL_RGBA16,
                kGl16FullScale / kHost16FullScale, kHost16FullScale / kGl16FullScale,
                0.5f / kHost16FullScale};
    case kPixelFormatAe32:
        return {pixelFormat, sizeof(PF_PixelFloat), GL_FLOAT, GL_RGBA32F, 1.0f, 1.0f, 0.0f};
    default:
        throw int(PF_Err_BAD_CALLBACK_PARAM);
    }
}

} // namespace Tessarine::Lamino
