#pragma once

#include <cstddef>
#include <cstdint>

#include <glbinding/gl/types.h>

#include "AE_Effect.h"
#include "AE_EffectCB.h"

namespace Tessarine::Lamino {

// User data of the host's float iteration: the dense buffer of one layer's pixels (row length
// world->width, world->height rows, host channel order) and the world whose size it has.
struct FloatCopyContext {
    PF_PixelFloat* buffer;
    PF_EffectWorld* world;
};

// Uploads a host layer into a new GL_RGBA32F texture owned by the caller: texel channels r, g,
// b, a hold the host's A, R, G, B unreordered (8-bit as value / 255, 16-bit as value / 65535,
// floats unchanged), host row y in texel row y. Linear filtering, clamp-to-edge wrapping.
// Writes the format's bytes per pixel, GL pixel type and output multiplier ("argb" 4,
// GL_UNSIGNED_BYTE, 1; "ae16" 8, GL_UNSIGNED_SHORT, 65535 / 32768; "ae32" 16, GL_FLOAT, 1).
// Throws an int host code: PF_Err_BAD_CALLBACK_PARAM for an unknown format (multiplier then
// 1.0, the others untouched) or an unusable world, 13 for a missing suite, PF_Err_OUT_OF_MEMORY
// when the float buffer cannot be had; no texture is left behind then.
// Needs a current GL context; leaves no texture bound and GL_UNPACK_ROW_LENGTH at 0.
gl::GLuint uploadLayer(uint32_t pixelFormat, PF_EffectWorld* layer, PF_InData* in_data,
                       size_t& pixelBytes, gl::GLenum& glType, float& multiplier);

// Float iteration callback: copies the input pixel into the dense buffer (context refcon) at
// its place; leaves the output pixel as it is.
PF_Err copyFloatPixelIn(void* refcon, A_long x, A_long y, PF_PixelFloat* in, PF_PixelFloat* out);

} // namespace Tessarine::Lamino
