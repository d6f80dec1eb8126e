#pragma once

#include <cstdint>

#include <glbinding/gl/types.h>

namespace Tessarine::Lamino {

// The eleven control values of one render, as the slice pass turns them into uniforms.
// Defaults are the controls' defaults. customLayerTexture names a texture owned by the render
// (0 when no custom layer is chosen).
struct SliceParameters {
    int32_t count = 30;
    double angle = 0.0;
    double offsetRandom = 0.0;
    int32_t offsetRandomSeed = 0;
    bool bothDirection = true;
    double sizeRandom = 0.0;
    int32_t sizeRandomSeed = 0;
    gl::GLuint customLayerTexture = 0;
    double layerAlpha = 1.0;
    int32_t layerRandomSeed = 0;
    int32_t edgeType = 0;
};

} // namespace Tessarine::Lamino
