#pragma once

namespace Tessarine::Lamino {

// GL reports allocation failures only through glGetError. The calls that allocate are wrapped in
// clearGlErrors() ... requireAllocated(), so that an error of an earlier call is not taken for
// theirs. Both need a current context.

// Takes every pending error off the context's error flags.
void clearGlErrors();

// Raises GpuFailure (OutOfMemory) when any error was reported since clearGlErrors: out of
// memory, or a size the driver refuses.
void requireAllocated();

} // namespace Tessarine::Lamino
