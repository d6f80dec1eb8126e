#pragma once

namespace Tessarine::Lamino {

// Two triangles covering clip space, five floats (x, y, z, u, v) per vertex: 120 bytes.
// uv runs from (0, 0) at clip (-1, -1) to (1, 1) at clip (1, 1). The slice pass draws it with
// "position" at attribute 0 (offset 0) and "input_uv" at attribute 1 (offset 12), stride 20.
extern const float kFullFrameQuad[30];

constexpr int kQuadStride = 20;
constexpr int kQuadUvOffset = 12;
constexpr int kQuadVertexCount = 6;

// GLSL text of the slice program's vertex shader: passes input_uv on as uv.
extern const char* const kPassthroughVertexShader;

} // namespace Tessarine::Lamino
