#include "pipeline/LayerTexture.h"

#include <glbinding/gl/gl.h>

#include "gl/GlErrors.h"

using namespace gl;

namespace Tessarine::Lamino {

void LayerTexture::allocate(int32_t w, int32_t h, GLenum internalFormat)
{
    if (texture != 0 && w == width && h == height && internalFormat == format) {
        glBindTexture(GL_TEXTURE_2D, texture);
        return;
    }
    release();
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    // A minification filter without mipmaps keeps the one-level texture complete.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(GL_NEAREST));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(GL_NEAREST));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLint>(GL_CLAMP_TO_EDGE));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLint>(GL_CLAMP_TO_EDGE));
    clearGlErrors();
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internalFormat), w, h, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
    try {
        requireAllocated();
    } catch (...) {
        glBindTexture(GL_TEXTURE_2D, 0);
        release();
        throw;
    }
    width = w;
    height = h;
    format = internalFormat;
}

void LayerTexture::release()
{
    if (texture != 0) {
        glDeleteTextures(1, &texture);
    }
    texture = 0;
    width = 0;
    height = 0;
    format = GLenum{};
}

} // namespace Tessarine::Lamino
