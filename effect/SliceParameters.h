#pragma once

#include <cstdint>

#include <glbinding/gl/types.h>

namespace Tessarine::Lamino {

// The control values of one render (or of one sample time across the shutter), as the slice
// pass turns them into a band table and uniforms. Defaults are the controls' defaults. customLayerTexture names a texture owned by
// the render (0 when no custom layer is chosen).
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
    double edgeSoftness = 0.0; // pixels over which neighbouring bands blend
    bool motionBlur = false;
    int32_t shutterSamples = 8;
    double evolution = 0.0;    // degrees; a whole turn returns to the same bands
    double bandPhase = 0.0;    // band widths the pattern slides across the bands
    // The effect's own shutter in degrees of a frame, used when the host passes none.
    double ownShutterAngle = 180.0;
    double ownShutterPhase = -90.0;
};

// Whether two records give the same frame (every field compared).
bool sameSlice(const SliceParameters& a, const SliceParameters& b);

} // namespace Tessarine::Lamino
