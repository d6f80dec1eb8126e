#pragma once

#include <cstddef>
#include <cstdint>

#include <glbinding/gl/types.h>

#include "AE_Effect.h"
#include "AE_EffectCB.h"
#include "pipeline/LayerFormat.h"

namespace Tessarine::Lamino {

// The frame drawn (width x height pixels) and the frame pixel that the output world's first
// pixel shows (x, y: 0 when the output holds the whole frame).
struct FrameArea {
    int32_t width = 0;
    int32_t height = 0;
    int32_t x = 0;
    int32_t y = 0;
};

// Reads the frame of the bound read framebuffer (the render surface's output, drawn in the host's
// channel order and scale) into the host's output world in the format's layout: frame pixel
// (area.x + i, area.y + j), GL row area.y + j, into output pixel (i, j). Only the part that both
// the frame and the output world hold is written, and never past a row's last pixel. 8- and 16-bit frames are read straight into the
// output world's rows; float frames go through a host memory handle and the host's iteration.
// Throws an int host code: 13 for a missing suite, PF_Err_OUT_OF_MEMORY when the handle cannot
// be had, PF_Err_BAD_CALLBACK_PARAM for an unusable output world (no pixel address, rows shorter
// than the width or not a whole number of pixels, negative size) or an area outside the frame
// (negative size or position); an error of the host's
// iteration is thrown as it is. The handle and the suites are released on every way out.
// Needs the render's GL context current; leaves GL_PACK_ROW_LENGTH at 0.
void readBackOutput(const FrameArea& area, PF_EffectWorld* output, PF_InData* in_data,
                    const LayerFormat& format);

// Float iteration callback: copies the dense buffer's pixel at (x, y) (context refcon) into the
// output pixel; pixels outside the buffer are left as they are.
PF_Err copyFloatPixelOut(void* refcon, A_long x, A_long y, PF_PixelFloat* in, PF_PixelFloat* out);

} // namespace Tessarine::Lamino
