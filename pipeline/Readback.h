#pragma once

#include <cstddef>
#include <cstdint>

#include <glbinding/gl/types.h>

#include "AE_Effect.h"
#include "AE_EffectCB.h"

namespace Tessarine::Lamino {

// Reads width x height pixels of the bound read framebuffer (the render surface's output after
// convertOutput) as GL_RGBA of glType into a host memory handle and writes them into the host's
// output world in its format: GL row y into host row y. Copies only the part that both the
// frame and the output world hold, and never writes past a row's last pixel.
// Throws an int host code: 13 for a missing suite, PF_Err_OUT_OF_MEMORY when the handle cannot
// be had, PF_Err_BAD_CALLBACK_PARAM for an unknown format (after reading), a pixel size that
// does not match glType, or an unusable output world (no pixel address, rows shorter than the
// width or not a whole number of pixels, negative size); an error of the host's iteration is
// thrown as it is. The handle and the suites are released on every way out.
// Needs the render's GL context current.
void readBackOutput(int32_t width, int32_t height, PF_EffectWorld* source, PF_EffectWorld* output,
                    PF_InData* in_data, uint32_t pixelFormat, size_t pixelBytes, gl::GLenum glType);

// Float iteration callback: copies the dense buffer's pixel at (x, y) (context refcon) into the
// output pixel; pixels outside the buffer are left as they are.
PF_Err copyFloatPixelOut(void* refcon, A_long x, A_long y, PF_PixelFloat* in, PF_PixelFloat* out);

} // namespace Tessarine::Lamino
