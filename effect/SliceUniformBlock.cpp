#include "effect/SliceUniformBlock.h"

#include <glbinding/gl/gl.h>

#include "gl/GlErrors.h"

using namespace gl;

namespace Tessarine::Lamino {

void SliceUniformBlock::upload(const SliceUniformValues& values)
{
    if (name == 0) {
        glGenBuffers(1, &name);
        glBindBuffer(GL_UNIFORM_BUFFER, name);
        clearGlErrors();
        glBufferData(GL_UNIFORM_BUFFER, sizeof values, &values, GL_DYNAMIC_DRAW);
        try {
            requireAllocated();
        } catch (...) {
            glBindBuffer(GL_UNIFORM_BUFFER, 0);
            glDeleteBuffers(1, &name);
            name = 0;
            throw;
        }
    } else {
        glBindBuffer(GL_UNIFORM_BUFFER, name);
        glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof values, &values);
    }
    // The indexed binding is what the draw reads; the general one is left unbound.
    glBindBufferBase(GL_UNIFORM_BUFFER, kBinding, name);
    glBindBuffer(GL_UNIFORM_BUFFER, 0);
}

void SliceUniformBlock::release()
{
    if (name != 0) {
        glDeleteBuffers(1, &name);
    }
    name = 0;
}

} // namespace Tessarine::Lamino
