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

void renderFrame(SlicePass& pass, PF_InData* in_data, const FrameWorlds& worlds,
                 const FrameControls& controls, uint32_t pixelFormat)
{
    PF_LayerDef* input = worlds.input;
    const LayerFormat format = layerFormat(pixelFormat);
    requireFrameFits(input);
    RenderSurface& surface = RenderSurface::instance();
    surface.prepare(input->width, input->height, format);

    SliceFrame frame;
    frame.inputTexture = uploadLayer(format, input, in_data, surface.inputLayer());
    frame.parameters = controls.parameters;
    frame.parameters.customLayerTexture =
        worlds.custom ? uploadLayer(format, worlds.custom, in_data, surface.customLayer()) : 0;
    frame.shutter = controls.shutter;
    for (SliceParameters& sample : frame.shutter) {
        sample.customLayerTexture = frame.parameters.customLayerTexture;
    }
    frame.customTexture = frame.parameters.customLayerTexture;
    frame.customWidth = static_cast<float>(surface.customLayer().textureWidth());
    frame.customHeight = static_cast<float>(surface.customLayer().textureHeight());
    frame.width = static_cast<float>(input->width);
    frame.height = static_cast<float>(input->height);
    frame.inputScale = format.inputScale;
    frame.outputScale = format.outputScale;
    frame.alphaFloor = format.alphaFloor;

    surface.beginDraw();
    pass.draw(frame);
    readBackOutput(FrameArea{input->width, input->height, worlds.outputX, worlds.outputY},
                   worlds.output, in_data, format);
    if (surface.finishRender()) {
        pass.dropLayerBindings();
    }
}

} // namespace Tessarine::Lamino
