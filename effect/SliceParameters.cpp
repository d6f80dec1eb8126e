#include "effect/SliceParameters.h"

namespace Tessarine::Lamino {

bool sameSlice(const SliceParameters& a, const SliceParameters& b)
{
    return a.count == b.count && a.angle == b.angle && a.offsetRandom == b.offsetRandom &&
           a.offsetRandomSeed == b.offsetRandomSeed && a.bothDirection == b.bothDirection &&
           a.sizeRandom == b.sizeRandom && a.sizeRandomSeed == b.sizeRandomSeed &&
           a.customLayerTexture == b.customLayerTexture && a.layerAlpha == b.layerAlpha &&
           a.layerRandomSeed == b.layerRandomSeed && a.edgeType == b.edgeType &&
           a.edgeSoftness == b.edgeSoftness && a.motionBlur == b.motionBlur &&
           a.shutterSamples == b.shutterSamples && a.evolution == b.evolution &&
           a.bandPhase == b.bandPhase && a.ownShutterAngle == b.ownShutterAngle &&
           a.ownShutterPhase == b.ownShutterPhase;
}

} // namespace Tessarine::Lamino
