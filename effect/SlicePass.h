#pragma once

#include <memory>

#include <glbinding/gl/types.h>

#include "effect/SliceParameters.h"
#include "effect/QuadGeometry.h"

namespace Tessarine::Lamino {

class OpenglShader;

// startPoint and corner uniforms for one angle and frame size: startPoint is the frame corner
// farthest to one side across the bands, corner the two frame corners at the extremes across
// them (xy and zw).
struct SliceCorners {
    float startPoint[2];
    float corner[4];
};

// Reduces the angle (degrees) to one turn and picks the frame corners for it. An angle whose
// reduction leaves [0, 360) (NaN, infinities, tiny negatives that round up to 360) counts as 0.
SliceCorners sliceCornersForAngle(double angle, float width, float height);

// The slice effect's GPU pass: owns the slice program, the full-frame quad's vertex buffer
// (shared by all contexts) and one vertex array per context that drew (vertex arrays are not
// shared), and holds the current render's parameter values.
// Construction makes no GL call. draw needs the render's context current with the render
// surface bound by beginDraw; destruction needs a context of the shared group current, deletes
// that context's vertex array and leaves the others to die with their contexts.
class SlicePass {
public:
    SlicePass();
    ~SlicePass();

    SlicePass(const SlicePass&) = delete;
    SlicePass& operator=(const SlicePass&) = delete;

    void draw(gl::GLuint inputTexture, double width, double height);

    SliceParameters parameters;

private:
    void setUniforms(gl::GLuint inputTexture, double width, double height);

    // Declared before the quad, so that the quad's objects are deleted before the program.
    std::unique_ptr<OpenglShader> shader;
    QuadGeometry quad;
};

} // namespace Tessarine::Lamino
