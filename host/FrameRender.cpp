#include "host/FrameRender.h"

#include <algorithm>

#include <glbinding/gl/gl.h>

#include "effect/SlicePass.h"
#include "gl/GpuFailure.h"
#include "host/EffectParameters.h"
#include "pipeline/LayerFormat.h"
#include "pipeline/LayerUpload.h"
#include "pipeline/Readback.h"
#include "pipeline/RenderSurface.h"

using namespace gl;

namespace Tessarine::Lamino {

namespace {

// A frame beyond what the driver draws into would be drawn nowhere and read back empty.
void requireFrameFits(const PF_LayerDef* input)
{
    GLint texture = 0;
    GLint renderbuffer = 0;
    GLint viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    const GLint largestWidth = std::min({texture, renderbuffer, viewport[0]});
    const GLint largestHeight = std::min({texture, renderbuffer, viewport[1]});
    if (input->width > largestWidth || input->height > largestHeight) {
        throw GpuFailure{GpuFailure::Kind::TooLarge, std::min(largestWidth, largestHeight)};
    }
}

} // namespace

void renderFrame(SlicePass& pass, PF_InData* in_data, PF_LayerDef* input, PF_LayerDef* output,
                 uint32_t pixelFormat)
{
    const LayerFormat format = layerFormat(pixelFormat);
    requireFrameFits(input);
    RenderSurface& surface = RenderSurface::instance();
    surface.prepare(input->width, input->height, format);

    SliceFrame frame;
    frame.inputTexture = uploadLayer(format, input, in_data, surface.inputLayer());
    ReadSliceParameters(pass.parameters, in_data, format, surface.customLayer());
    pass.shutter = ReadShutterSamples(pass.parameters, in_data);
    frame.customTexture = pass.parameters.customLayerTexture;
    frame.customWidth = static_cast<float>(surface.customLayer().textureWidth());
    frame.customHeight = static_cast<float>(surface.customLayer().textureHeight());
    frame.width = static_cast<float>(input->width);
    frame.height = static_cast<float>(input->height);
    frame.inputScale = format.inputScale;
    frame.outputScale = format.outputScale;
    frame.alphaFloor = format.alphaFloor;

    surface.beginDraw();
    pass.draw(frame);
    readBackOutput(input->width, input->height, input, output, in_data, format);
}

} // namespace Tessarine::Lamino
