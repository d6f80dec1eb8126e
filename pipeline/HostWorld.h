#pragma once

#include <cstddef>
#include <cstdint>

#include "AE_Effect.h"
#include "AE_EffectCB.h"

namespace Tessarine::Lamino {

struct FloatCopyContext;

// Checks on the host's image buffers and the host calls that upload and readback share. Every
// failure is thrown as an int host error code.

// A world to work with: not null, width and height not negative. Else PF_Err_BAD_CALLBACK_PARAM.
void requireWorld(const PF_EffectWorld* world);

// The address of the world's top-left pixel, for reading or writing it row by row with
// `pixelBytes` per pixel (4 for "argb" through get_pixel_data8, 8 for "ae16" through
// get_pixel_data16). Throws PF_Err_BAD_CALLBACK_PARAM when the host gives no address, or when
// rowbytes is shorter than a row or not a whole number of pixels: either would read or write
// outside the host's rows, or skew the image.
unsigned char* hostPixels(PF_InData* in_data, PF_EffectWorld* world, size_t pixelBytes);

// Runs the host's float iteration ("PF iterateFloat Suite" version 1) over the whole of `dst`
// with `context` as user data. A missing suite throws 13; an error of the iteration is thrown.
void iterateFloatPixels(PF_InData* in_data, A_long progressFinal, PF_EffectWorld* src,
                        FloatCopyContext* context, PF_IteratePixelFloatFunc pixelFunction,
                        PF_EffectWorld* dst);

// Where pixel (x, y) of the context's dense buffer lies, or null outside it.
PF_PixelFloat* denseBufferPixel(const FloatCopyContext* context, A_long x, A_long y);

} // namespace Tessarine::Lamino
