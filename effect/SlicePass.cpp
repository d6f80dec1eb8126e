#include "effect/SlicePass.h"

#include <algorithm>
#include <cmath>

#include <glbinding/gl/gl.h>

#include "effect/FullFrameQuad.h"
#include "gl/OpenglShader.h"
#include "shaders/slice.frag.h"

using namespace gl;

namespace Tessarine::Lamino {

namespace {

constexpr double kSeedScale = 10000.0;

float seedUniform(int32_t seed)
{
    return static_cast<float>(seed / kSeedScale);
}

float flag(bool on)
{
    return on ? 1.0f : 0.0f;
}

} // namespace

SliceCorners sliceCornersForAngle(double angle, float width, float height)
{
    const float turn =
        static_cast<float>(std::fmod(static_cast<double>(static_cast<float>(angle)), 360.0));
    float a = turn < 0.0f ? turn + 360.0f : turn;
    if (!(a >= 0.0f && a < 360.0f)) {
        a = 0.0f;
    }
    if (a < 90.0f) {
        return {{0.0f, height}, {width, 0.0f, 0.0f, height}};
    }
    if (a < 180.0f) {
        return {{width, height}, {0.0f, 0.0f, width, height}};
    }
    if (a < 270.0f) {
        return {{width, 0.0f}, {width, 0.0f, 0.0f, height}};
    }
    return {{0.0f, 0.0f}, {0.0f, 0.0f, width, height}};
}

SlicePass::SlicePass()
    : shader(std::make_unique<OpenglShader>(kPassthroughVertexShader, kSliceFragmentSource))
{
    shader->addAttribute("position", 0);
    shader->addAttribute("input_uv", 1);
}

SlicePass::~SlicePass() = default;

void SlicePass::draw(GLuint inputTexture, double width, double height)
{
    quad.makeIfMissing();
    shader->use();
    quad.bind();
    shader->setAttributePointer3(0, 0, kQuadStride);
    shader->setAttributePointer2(1, kQuadUvOffset, kQuadStride);
    setUniforms(inputTexture, width, height);
    glDrawArrays(GL_TRIANGLES, 0, kQuadVertexCount);
    shader->disableAttribute(0);
    shader->disableAttribute(1);
    QuadGeometry::unbind();
}

void SlicePass::setUniforms(GLuint inputTexture, double width, double height)
{
    const SliceCorners corners = sliceCornersForAngle(parameters.angle, static_cast<float>(width),
                                                      static_cast<float>(height));
    shader->setUniform("startPoint", corners.startPoint[0], corners.startPoint[1]);
    shader->setUniform("corner", corners.corner[0], corners.corner[1], corners.corner[2],
                       corners.corner[3]);
    shader->setUniform("viewSize", std::pair<double, double>(width, height));
    shader->setTexture("t0", GL_TEXTURE_2D, inputTexture, 0);
    shader->setTexture("t1", GL_TEXTURE_2D, parameters.customLayerTexture, 1);
    shader->setUniform("angle", static_cast<float>(parameters.angle));
    // At least one slice: the band walk divides the frame's extent by the count.
    shader->setUniform("count", static_cast<float>(std::max<int32_t>(1, parameters.count)));
    shader->setUniform("offsetRandom", static_cast<float>(parameters.offsetRandom));
    shader->setUniform("offsetRandomSeed", seedUniform(parameters.offsetRandomSeed));
    shader->setUniform("bothDirection", flag(parameters.bothDirection));
    shader->setUniform("sizeRandom", static_cast<float>(parameters.sizeRandom));
    shader->setUniform("sizeRandomSeed", seedUniform(parameters.sizeRandomSeed));
    shader->setUniform("layerRandomSeed", seedUniform(parameters.layerRandomSeed));
    shader->setUniform("layerAlpha", static_cast<float>(parameters.layerAlpha));
    shader->setUniform("hasCustomLayer", flag(parameters.customLayerTexture != 0));
    // A choice outside the four would make the shader's edge mask negative.
    shader->setUniform("edgeType", std::clamp<int32_t>(parameters.edgeType, 0, 3));
}

} // namespace Tessarine::Lamino
