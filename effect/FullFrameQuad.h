#pragma once

namespace Tessarine::Lamino {

// Two triangles covering clip space, five floats (x, y, z, u, v) per vertex: 120 bytes.
// uv runs from (0, 0) at clip (-1, -1) to (1, 1) at clip (1, 1). Both GPU passes draw it with
// "position" at attribute 0 (offset 0) and "input_uv" at attribute 1 (offset 12), stride 20.
extern const float kFullFrameQuad[30];

constexpr int kQuadStride = 20;
constexpr int kQuadUvOffset = 12;
constexpr int kQuadVertexCount = 6;

// GLSL text of the vertex shader both passes use: passes input_uv on as uv.
extern const char* const kPassthroughVertexShader;

} // namespace Tessarine::Lamino
