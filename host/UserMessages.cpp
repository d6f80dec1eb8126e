#include "host/UserMessages.h"

#include <cstdio>

namespace Tessarine::Lamino {

namespace {

// The sentences the host shows for failures that the user can act on.
constexpr char kNeedsOpenGl[] =
    "Orla Lamino needs OpenGL 3.3 or later and could not start it on this graphics driver. "
    "Update the graphics driver, or use a computer whose GPU supports OpenGL 3.3.";
constexpr char kOutOfGpuMemory[] =
    "Orla Lamino ran out of GPU memory for this frame. Render a smaller frame, or close other "
    "programs that use the GPU.";
constexpr char kProgramNotBuilt[] =
    "Orla Lamino could not build its GPU program on this graphics driver. Update the graphics "
    "driver.";
constexpr char kDriverMismatch[] =
    "Orla Lamino: a render thread got an OpenGL context of another graphics driver or pixel "
    "format than the first one, and does not draw with it. Render on one GPU, or update the "
    "graphics driver.";
constexpr char kTooLarge[] = "Orla Lamino: the GPU renders at most %d pixels a side, and this "
                             "layer is larger. Render a smaller frame or lower the resolution.";

void tellUser(PF_OutData* out_data, const char* format, int value = 0)
{
    if (!out_data) {
        return;
    }
    std::snprintf(out_data->return_msg, sizeof out_data->return_msg, format, value);
    out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
}

} // namespace

PF_Err reportGpuFailure(const GpuFailure& failure, PF_OutData* out_data)
{
    switch (failure.kind) {
    case GpuFailure::Kind::OutOfMemory:
        tellUser(out_data, kOutOfGpuMemory);
        return PF_Err_OUT_OF_MEMORY;
    case GpuFailure::Kind::ProgramNotBuilt:
        tellUser(out_data, kProgramNotBuilt);
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    case GpuFailure::Kind::DriverMismatch:
        tellUser(out_data, kDriverMismatch);
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    case GpuFailure::Kind::TooLarge:
        tellUser(out_data, kTooLarge, failure.limit);
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
}


PF_Err reportMissingOpenGl(PF_OutData* out_data)
{
    tellUser(out_data, kNeedsOpenGl);
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
}

} // namespace Tessarine::Lamino
