#pragma once

#include <cstdint>
#include <vector>

#include "effect/SliceParameters.h"

namespace Tessarine::Lamino {

// The hash every random value of the effect comes from, in [0, 1): the fractional part of
// 43758.5453 sin(12.9898 x + 78.233 y), in IEEE single precision with a correctly rounded sine,
// so that a band layout is the same on every GPU and driver.
float bandHash(float x, float y);

// One row of the band table: where the band ends across the bands, how far its content moves
// along the bands (pixels), and 1 when it shows the custom layer, else 0.
struct Band {
    float end;
    float shift;
    float choice;
    float unused; // pads a row to one RGBA texel
};

// What the GPU reads for one whole pixel of distance k across the bands: distances d in
// [k, k + 1) lie in the first band whose end reaches k or in one of the two after it (every band
// is at least one pixel wide), so one record holds the first two candidates' ends and all three
// candidates' shifts and choices. Two RGBA texels; the GPU finds any pixel's band with two
// independent reads and two comparisons, whatever the number of bands.
struct BandLookup {
    float end0, end1, shift0, shift1;
    float shift2, choice0, choice1, choice2;
};

// Every band of one render, computed once on the CPU from the controls and the frame's extent
// across the bands (maxDist). Band i is max(1, segSize + random * segSize) wide, summed in band
// order in single precision from 0; the table runs on past `count` bands where random widths fall
// short, until the last band reaches past maxDist + 1. lookup[k] covers k = 0 .. floor(maxDist)
// + 1; distances beyond it belong to the last record's bands.
struct BandTable {
    std::vector<Band> bands;
    std::vector<BandLookup> lookup;
    std::vector<int32_t> firstBands; // the band of lookup[k].end0, for the CPU's own use
    bool shifted = false;            // some band's shift is not 0

    static BandTable build(const SliceParameters& parameters, float maxDist);

    // The band holding distance dist: the first band with dist <= end (the last band beyond
    // them), found through the lookup as the GPU finds it.
    int32_t bandAt(float dist) const;
};

} // namespace Tessarine::Lamino
