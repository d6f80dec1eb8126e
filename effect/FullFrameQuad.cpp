#include "effect/FullFrameQuad.h"

#include "shaders/passthrough.vert.h"

namespace Tessarine::Lamino {

// clang-format off
const float kFullFrameQuad[30] = {
    1.0f,  -1.0f, 0.0f, 1.0f, 0.0f,
    1.0f,  1.0f,  0.0f, 1.0f, 1.0f,
    -1.0f, 1.0f,  0.0f, 0.0f, 1.0f,
    -1.0f, 1.0f,  0.0f, 0.0f, 1.0f,
    -1.0f, -1.0f, 0.0f, 0.0f, 0.0f,
    1.0f,  -1.0f, 0.0f, 1.0f, 0.0f,
};
// clang-format on

static_assert(sizeof(kFullFrameQuad) == 120, "the quad is six vertices of five floats");

// A constant initialiser: usable by passes created during static initialisation.
const char* const kPassthroughVertexShader = kPassthroughVertexSource;

} // namespace Tessarine::Lamino
