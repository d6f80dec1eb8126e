#pragma once

#include <cstdint>

#include <glbinding/gl/types.h>

namespace Tessarine::Lamino {

// One layer's texture, kept from render to render: its storage is made again only when the
// layer's size or format changes, so that renders at a steady size allocate nothing. Texels are
// read with texelFetch (filtering is done in the program, alike on every driver), so the texture
// has one level and nearest filtering.
//
// Owns its texture name (0 = not made). Plain data otherwise: kept per context by its holder,
// which calls release with that context current; the destructor makes no GL call.
class LayerTexture {
public:
    // Makes the name on first use and gives it width x height storage of internalFormat unless
    // it has that already. Leaves the texture bound to GL_TEXTURE_2D. Raises GpuFailure
    // (OutOfMemory), with the name deleted, when the storage cannot be had.
    void allocate(int32_t width, int32_t height, gl::GLenum internalFormat);
    void release();

    gl::GLuint name() const { return texture; }
    int32_t textureWidth() const { return width; }
    int32_t textureHeight() const { return height; }
    gl::GLenum internalFormat() const { return format; }

private:
    gl::GLuint texture = 0;
    int32_t width = 0;
    int32_t height = 0;
    gl::GLenum format{};
};

} // namespace Tessarine::Lamino
