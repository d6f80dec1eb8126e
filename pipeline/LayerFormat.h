#pragma once

#include <cstddef>
#include <cstdint>

#include <glbinding/gl/types.h>

namespace Tessarine::Lamino {

// How one host pixel format travels through the GPU: its bytes per pixel, the GL pixel type of
// its transfers, the texture and framebuffer format that holds it at full precision, and the
// factors between the texels and full scale (the 16-bit host stops at 32768, GL's 16-bit
// fractions at 65535).
struct LayerFormat {
    uint32_t pixelFormat;
    size_t pixelBytes;
    gl::GLenum glType;
    gl::GLenum internalFormat;
    float inputScale;  // texel value times this is full scale (1.0)
    float outputScale; // full scale times this is the value to store
    float alphaFloor;  // alphas below it store as 0 in this format
};

// The format of a host pixel-format code ("argb", "ae16", "ae32"); PF_Err_BAD_CALLBACK_PARAM
// thrown as an int for any other code.
LayerFormat layerFormat(uint32_t pixelFormat);

} // namespace Tessarine::Lamino
