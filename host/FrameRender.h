#pragma once

#include <cstdint>

#include "AE_Effect.h"

namespace Tessarine::Lamino {

class SlicePass;

// One frame of the effect from the input world into the output world, in the host pixel format
// `pixelFormat` ("argb", "ae16" or "ae32"): the layers uploaded into the current context's
// render surface, the controls read into the pass's parameters, one draw, the readback.
// Needs the render's context current. Throws an int host code or GpuFailure (see the steps).
void renderFrame(SlicePass& pass, PF_InData* in_data, PF_LayerDef* input, PF_LayerDef* output,
                 uint32_t pixelFormat);

} // namespace Tessarine::Lamino
