#pragma once

#include <glbinding/gl/types.h>

#include "gl/PerContext.h"

namespace Tessarine::Lamino {

// The GL objects that draw the full-frame quad for one pass: one vertex buffer, shared by all
// contexts of the group, and one vertex array per context that drew, since GL does not share
// vertex arrays. Made on first use in each context (needs that context current). Destruction
// needs a context of the group current: it deletes that context's vertex array and the buffer
// and forgets the other contexts' vertex arrays, which go with their contexts.
class QuadGeometry {
public:
    QuadGeometry() = default;
    ~QuadGeometry();

    QuadGeometry(const QuadGeometry&) = delete;
    QuadGeometry& operator=(const QuadGeometry&) = delete;

    // Makes the current context's vertex array (left bound) and, the first time, the buffer
    // with the quad's 120 bytes. Does nothing when the current context has its vertex array.
    // Says whether it made the buffer, which the caller finishes before other contexts use it.
    bool makeIfMissing();

    // Binds the current context's vertex array and the buffer as GL_ARRAY_BUFFER.
    void bind();

    // Binds vertex array 0 and array buffer 0.
    static void unbind();

    // Forgets every name without a GL call, for when the contexts are gone or going.
    void abandon();

private:
    PerContext<gl::GLuint> vertexArrays;
    gl::GLuint vertexBuffer = 0;
};

} // namespace Tessarine::Lamino
