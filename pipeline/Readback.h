#pragma once

#include <cstddef>
#include <cstdint>

#include <glbinding/gl/types.h>

#include "AE_Effect.h"
#include "AE_EffectCB.h"
#include "pipeline/LayerFormat.h"

namespace Tessarine::Lamino {

// Reads the width x height frame of the bound read framebuffer (the render surface's output,
// drawn in the host's channel order and scale) into the host's output world in the format's
// layout: GL row y into host row y. Only the part that both the frame and the output world hold
// is written, and never past a row's last pixel. 8- and 16-bit frames are read straight into the
// output world's rows; float frames go through a host memory handle and the host's iteration.
// Throws an int host code: 13 for a missing suite, PF_Err_OUT_OF_MEMORY when the handle cannot
// be had, PF_Err_BAD_CALLBACK_PARAM for an unusable output world (no pixel address, rows shorter
// than the width or not a whole number of pixels, negative size); an error of the host's
// iteration is thrown as it is. The handle and the suites are released on every way out.
// Needs the render's GL context current; leaves GL_PACK_ROW_LENGTH at 0.
void readBackOutput(int32_t width, int32_t height, PF_EffectWorld* source, PF_EffectWorld* output,
                    PF_InData* in_data, const LayerFormat& format);

// Float iteration callback: copies the dense buffer's pixel at (x, y) (context refcon) into the
// output pixel; pixels outside the buffer are left as they are.
PF_Err copyFloatPixelOut(void* refcon, A_long x, A_long y, PF_PixelFloat* in, PF_PixelFloat* out);

} // namespace Tessarine::Lamino
