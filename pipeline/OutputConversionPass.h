#pragma once

#include <glbinding/gl/types.h>

#include "gl/OpenglShader.h"
#include "effect/QuadGeometry.h"

namespace Tessarine::Lamino {

// The last GPU pass of a render: draws a resolved frame through the conversion program into the
// bound framebuffer, from premultiplied RGBA to the host's straight ARGB divided by the format's
// multiplier. Owns its program, the quad's vertex buffer (shared by all contexts) and one vertex
// array per context that drew. Construction makes no GL call; draw needs the render's context
// current; destruction needs a context of the shared group current, deletes that context's
// vertex array and leaves the others to die with their contexts.
class OutputConversionPass {
public:
    OutputConversionPass();
    ~OutputConversionPass();

    OutputConversionPass(const OutputConversionPass&) = delete;
    OutputConversionPass& operator=(const OutputConversionPass&) = delete;

    void draw(gl::GLuint texture, float multiplier);

private:
    // Declared before the quad, so that the quad's objects are deleted before the program.
    OpenglShader shader;
    QuadGeometry quad;
};

} // namespace Tessarine::Lamino
