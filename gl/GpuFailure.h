#pragma once

#include <cstdint>

namespace Tessarine::Lamino {

// Raised by value when the GPU cannot give a correct frame, so that a render fails with an error
// instead of reporting an empty or stale frame as done. The entry point turns it into the host's
// error code and a sentence for the user.
struct GpuFailure {
    enum class Kind {
        OutOfMemory,     // a texture, buffer or renderbuffer could not be allocated
        ProgramNotBuilt, // a shader did not compile or link on this driver
        TooLarge,        // the frame or a layer is beyond the driver's size limits
        DriverMismatch,  // a render thread's context has another pixel format or renderer
    };
    Kind kind;
    int32_t limit = 0; // TooLarge: the most pixels a side the driver takes, when known
};

} // namespace Tessarine::Lamino
