#pragma once

#include <cstdint>

#include "AE_Effect.h"
#include "host/FrameRender.h"

namespace Tessarine::Lamino {

// Draws the frame of a smart render from the worlds it checked out, in a host pixel format.
using FrameRenderer = void (*)(PF_InData* in_data, const FrameWorlds& worlds,
                               uint32_t pixelFormat);

// PF_Cmd_SMART_PRE_RENDER: checks out the input layer (parameter 0) over the layer's rect and
// the custom layer whole (neither for a request without area), and reports as the largest result
// the layer's rect united with the input's largest result, and as the result what of it the host
// asked for. The custom layer's reference size goes to the render in pre_render_data. Returns the
// host's error of a failed checkout as it is, and PF_Err_BAD_CALLBACK_PARAM for a missing
// structure or callback.
PF_Err SmartPreRender(PF_InData* in_data, PF_PreRenderExtra* extra);

// PF_Cmd_SMART_RENDER: checks out the layers' pixels (no custom layer when it has none) and the
// output, renders them with `render` at the depth the host asks for (8, 16 or 32 bits), each
// world where its origin places it, and checks the layers in again on every way out. No input
// pixels leave the frame transparent. A failed callback's error is returned as it is; a missing
// callback, an unknown depth or an unusable output world give PF_Err_BAD_CALLBACK_PARAM. What
// `render` throws passes through, after the checkins.
PF_Err SmartRender(PF_InData* in_data, PF_SmartRenderExtra* extra, FrameRenderer render);

} // namespace Tessarine::Lamino
