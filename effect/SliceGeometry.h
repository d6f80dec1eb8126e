#pragma once

namespace Tessarine::Lamino {

// Where the bands lie for one angle and frame size, worked out on the CPU once per render.
// The angle is reduced to one turn in double precision first, so that angles a whole number of
// turns apart give the same geometry to the last bit.
struct SliceGeometry {
    double turn;         // the angle reduced to [0, 360) degrees
    float startPoint[2]; // the frame corner farthest to one side across the bands
    float along[2];      // unit direction along the bands, (sin a, cos a)
    float across[2];     // unit direction across the bands, (cos a, -sin a)
    float maxDist;       // the frame's extent across the bands, W |cos a| + H |sin a|
};

// An angle whose reduction leaves [0, 360) (NaN, infinities) counts as 0.
double reduceToOneTurn(double angle);

SliceGeometry sliceGeometry(double angle, float width, float height);

} // namespace Tessarine::Lamino
