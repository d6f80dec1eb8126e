#include "pipeline/OutputConversionPass.h"

#include <glbinding/gl/gl.h>

#include "effect/FullFrameQuad.h"
#include "shaders/conversion.frag.h"

using namespace gl;

namespace Tessarine::Lamino {

OutputConversionPass::OutputConversionPass()
    : shader(kPassthroughVertexShader, kConversionFragmentSource)
{
    shader.addAttribute("position", 0);
    shader.addAttribute("input_uv", 1);
}

OutputConversionPass::~OutputConversionPass() = default;

void OutputConversionPass::draw(GLuint texture, float multiplier)
{
    quad.makeIfMissing();
    shader.use();
    quad.bind();
    shader.setAttributePointer3(0, 0, kQuadStride);
    shader.setAttributePointer2(1, kQuadUvOffset, kQuadStride);
    shader.setTexture("videoTexture", GL_TEXTURE_2D, texture, 0);
    shader.setUniform("multiplier16bit", multiplier);
    glDrawArrays(GL_TRIANGLES, 0, kQuadVertexCount);
    shader.disableAttribute(0);
    shader.disableAttribute(1);
    QuadGeometry::unbind();
}

} // namespace Tessarine::Lamino
