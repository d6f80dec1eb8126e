#include "effect/SliceGeometry.h"

#include <cmath>

namespace Tessarine::Lamino {

namespace {

constexpr double kDegreesToRadians = 3.14159265358979323846 / 180.0;

} // namespace

double reduceToOneTurn(double angle)
{
    double turn = std::fmod(angle, 360.0);
    if (turn < 0.0) {
        turn += 360.0;
    }
    // Tiny negative angles round up to 360 when a turn is added.
    return turn >= 0.0 && turn < 360.0 ? turn : 0.0;
}

SliceGeometry sliceGeometry(double angle, float width, float height)
{
    SliceGeometry g{};
    g.turn = reduceToOneTurn(angle);
    const double radians = g.turn * kDegreesToRadians;
    const double sine = std::sin(radians);
    const double cosine = std::cos(radians);
    g.along[0] = static_cast<float>(sine);
    g.along[1] = static_cast<float>(cosine);
    g.across[0] = static_cast<float>(cosine);
    g.across[1] = static_cast<float>(-sine);
    g.maxDist = static_cast<float>(width * std::fabs(cosine) + height * std::fabs(sine));

    // The corner with the smallest x cos a - y sin a: every pixel lies on one side of the line
    // along the bands through it, at a distance from 0 to maxDist.
    const bool rightSide = g.turn >= 90.0 && g.turn < 270.0;
    const bool bottomSide = g.turn < 180.0;
    g.startPoint[0] = rightSide ? width : 0.0f;
    g.startPoint[1] = bottomSide ? height : 0.0f;
    return g;
}

} // namespace Tessarine::Lamino
