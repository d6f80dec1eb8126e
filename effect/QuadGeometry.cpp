#include "effect/QuadGeometry.h"

#include <glbinding/gl/gl.h>

#include "effect/FullFrameQuad.h"

using namespace gl;

namespace Tessarine::Lamino {

QuadGeometry::~QuadGeometry()
{
    if (vertexArrays.hasCurrent() && vertexArrays.current() != 0) {
        glDeleteVertexArrays(1, &vertexArrays.current());
    }
    vertexArrays.clear();
    if (vertexBuffer != 0) {
        glDeleteBuffers(1, &vertexBuffer);
    }
}

bool QuadGeometry::makeIfMissing()
{
    if (vertexArrays.hasCurrent() && vertexArrays.current() != 0) {
        return false;
    }
    GLuint& vertexArray = vertexArrays.current();
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    if (vertexBuffer != 0) {
        return false;
    }
    glGenBuffers(1, &vertexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(kFullFrameQuad), kFullFrameQuad, GL_STATIC_DRAW);
    return true;
}

void QuadGeometry::bind()
{
    glBindVertexArray(vertexArrays.current());
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
}

void QuadGeometry::abandon()
{
    vertexArrays.clear();
    vertexBuffer = 0;
}

void QuadGeometry::unbind()
{
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

} // namespace Tessarine::Lamino
