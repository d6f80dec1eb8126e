#include "host/FrameRender.h"

#include <algorithm>

#include <glbinding/gl/gl.h>

#include "effect/SlicePass.h"
#include "gl/GpuFailure.h"
#include "host/EffectParameters.h"
#include "host/LayerGeometry.h"
#include "pipeline/LayerFormat.h"
#include "pipeline/LayerTexture.h"
#include "pipeline/LayerUpload.h"
#include "pipeline/Readback.h"
#include "pipeline/RenderSurface.h"

using namespace gl;

namespace Tessarine::Lamino {

namespace {

// An output beyond what the driver draws into would be drawn nowhere and read back empty.
void requireOutputFits(const PF_LayerDef* output)
{
    GLint texture = 0;
    GLint renderbuffer = 0;
    GLint viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    const GLint largestWidth = std::min({texture, renderbuffer, viewport[0]});
    const GLint largestHeight = std::min({texture, renderbuffer, viewport[1]});
    if (output->width > largestWidth || output->height > largestHeight) {
        throw GpuFailure{GpuFailure::Kind::TooLarge, std::min(largestWidth, largestHeight)};
    }
}

// The layer's geometry; a host that reports no layer size has the input world be the frame.
LayerGeometry frameGeometry(const PF_InData* in_data, const FrameWorlds& worlds)
{
    const LayerGeometry reported = layerGeometry(in_data);
    if (reported.known() || !hasPixels(worlds.input)) {
        return reported;
    }
    const PF_LRect world{worlds.inputOrigin[0], worlds.inputOrigin[1],
                         worlds.inputOrigin[0] + worlds.input->width,
                         worlds.inputOrigin[1] + worlds.input->height};
    return layerGeometryOfFrame(in_data, world);
}

// Whether a world at `origin` holds every pixel of the rect from 0 to `texels`.
bool covers(const int32_t origin[2], const PF_LayerDef* world, const int32_t texels[2])
{
    return world && origin[0] <= 0 && origin[1] <= 0 &&
           int64_t(origin[0]) + world->width >= texels[0] &&
           int64_t(origin[1]) + world->height >= texels[1];
}

// Where the worlds lie against the frame, in the frame's own buffer pixels.
FramePlacement placementOf(const LayerGeometry& g, const FrameWorlds& worlds,
                           const PF_InData* in_data, const LayerTexture& custom)
{
    FramePlacement place;
    const int32_t frameOrigin[2] = {g.frame.left, g.frame.top};
    const int32_t frameTexels[2] = {g.frame.right - g.frame.left, g.frame.bottom - g.frame.top};
    const double toSquare[2] = {g.toSquareX(), g.toSquareY()};
    const int32_t outputSize[2] = {worlds.output->width, worlds.output->height};
    const bool referenced = worlds.customReferenceWidth > 0 && worlds.customReferenceHeight > 0;
    const int32_t reference[2] = {worlds.customReferenceWidth, worlds.customReferenceHeight};
    const int32_t fullSize[2] = {g.fullWidth, g.fullHeight};
    const int32_t customTexture[2] = {custom.textureWidth(), custom.textureHeight()};
    const PF_RationalScale downsample[2] = {in_data->downsample_x, in_data->downsample_y};
    for (int axis = 0; axis < 2; ++axis) {
        place.toSquare[axis] = static_cast<float>(toSquare[axis]);
        place.fromSquare[axis] = static_cast<float>(1.0 / toSquare[axis]);
        place.frameTexels[axis] = std::max(1, frameTexels[axis]);
        place.inputOrigin[axis] = worlds.inputOrigin[axis] - frameOrigin[axis];
        place.outputOrigin[axis] = worlds.outputOrigin[axis] - frameOrigin[axis];
        place.outputSize[axis] = outputSize[axis];
        // The custom layer's reference rect (the world itself when it has none) is stretched
        // over the frame.
        place.customOrigin[axis] = worlds.customOrigin[axis];
        const int32_t referenceTexels =
            referenced ? downsampledSize(reference[axis], downsample[axis]) : customTexture[axis];
        place.customTexels[axis] = std::max(1, referenceTexels);
        place.customScale[axis] =
            referenced && fullSize[axis] > 0
                ? static_cast<float>(reference[axis]) / static_cast<float>(fullSize[axis])
                : static_cast<float>(customTexture[axis]) /
                      static_cast<float>(place.frameTexels[axis]);
    }
    place.worldsCoverFrame = covers(place.inputOrigin, worlds.input, place.frameTexels) &&
                             (!worlds.custom ||
                              covers(place.customOrigin, worlds.custom, place.customTexels));
    place.supersample[0] = fullPixelsPerPixel(in_data->downsample_x, SlicePass::kMaxSupersample);
    place.supersample[1] = fullPixelsPerPixel(in_data->downsample_y, SlicePass::kMaxSupersample);
    place.keepZeroAlphaColour = worlds.keepZeroAlphaColour;
    return place;
}

} // namespace

void renderFrame(SlicePass& pass, PF_InData* in_data, const FrameWorlds& worlds,
                 const FrameControls& controls, uint32_t pixelFormat)
{
    PF_LayerDef* output = worlds.output;
    const LayerFormat format = layerFormat(pixelFormat);
    if (output->width <= 0 || output->height <= 0) {
        return; // the host asks for no pixels
    }
    requireOutputFits(output);
    const LayerGeometry geometry = frameGeometry(in_data, worlds);
    RenderSurface& surface = RenderSurface::instance();
    surface.prepare(output->width, output->height, format);

    SliceFrame frame;
    // A host that hands no input pixels (a mask beside the layer) leaves the frame transparent.
    frame.inputTexture =
        hasPixels(worlds.input) ? uploadLayer(format, worlds.input, in_data, surface.inputLayer())
                                : 0;
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
    frame.width = static_cast<float>(geometry.squareWidth());
    frame.height = static_cast<float>(geometry.squareHeight());
    frame.inputScale = format.inputScale;
    frame.outputScale = format.outputScale;
    frame.alphaFloor = format.alphaFloor;
    frame.placement = placementOf(geometry, worlds, in_data, surface.customLayer());

    surface.beginDraw();
    pass.draw(frame);
    readBackOutput(FrameArea{output->width, output->height, 0, 0}, output, in_data, format);
    if (surface.finishRender()) {
        pass.dropLayerBindings();
    }
}

} // namespace Tessarine::Lamino
