#pragma once

#include "AE_Effect.h"
#include "gl/GpuFailure.h"

namespace Tessarine::Lamino {

// Failures the user can act on reach the host with a sentence in out_data->return_msg and
// PF_OutFlag_DISPLAY_ERROR_MESSAGE set, so that the host shows what went wrong and what to do
// instead of a generic error. Each returns the host error code for the failure; a null out_data
// gets the code only.

// A frame or layer beyond the driver's size (516), GPU memory exhausted (PF_Err_OUT_OF_MEMORY),
// a program the driver does not build or a render thread's context on another driver
// (PF_Err_INTERNAL_STRUCT_DAMAGED).
PF_Err reportGpuFailure(const GpuFailure& failure, PF_OutData* out_data);

// No OpenGL 3.3 context could be made (PF_Err_INTERNAL_STRUCT_DAMAGED).
PF_Err reportMissingOpenGl(PF_OutData* out_data);

} // namespace Tessarine::Lamino
