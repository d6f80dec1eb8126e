#pragma once

#include <cstdint>
#include <vector>

#include "effect/SliceParameters.h"

namespace Tessarine::Lamino {

// The hash every random value of the effect comes from, in [0, 1): the fractional part of
// 43758.5453 sin(12.9898 x + 78.233 y), in IEEE single precision with a correctly rounded sine,
// so that a band layout is the same on every GPU and driver.
float bandHash(float x, float y);

// A band's random value in [0, 1] at an evolution of `turns` (a fraction of a whole turn): the
// hash h = bandHash(x, y) moved by kEvolutionReach (cos 2 pi (turns + q) - cos 2 pi q), q a second
// hash of the band, folded back into [0, 1] at its ends. Continuous in the evolution, the same
// after a whole turn, and exactly h at 0. It moves by at most 2 pi kEvolutionReach per turn.
constexpr double kEvolutionReach = 0.5;
float evolvedHash(float x, float y, double turns);

// One band: where it starts and ends across the bands, how far its content moves along the
// bands (pixels), and 1 when it shows the custom layer, else 0. One RGBA texel on the GPU.
struct Band {
    float start;
    float end;
    float shift;
    float choice;
};

// What the GPU reads for one whole pixel of pattern distance k across the bands: distances u in
// [origin + k, origin + k + 1) lie in the first band whose end reaches origin + k or in one of the
// two after it (every band is at least one pixel wide), so one record holds the first two
// candidates' ends and all three candidates' shifts and choices. Two RGBA texels; the GPU finds
// any pixel's band with two independent reads and two comparisons, whatever the number of bands.
struct BandLookup {
    float end0, end1, shift0, shift1;
    float shift2, choice0, choice1, choice2;
};

// Every band of one render, computed once on the CPU from the controls and the frame's extent
// across the bands (maxDist). Band i is max(1, segSize + random * segSize) wide. Band 0 starts at
// pattern distance 0 and the ends are summed in band order in single precision from there; a
// pixel at distance d across the frame lies at pattern distance u = d - patternShift, where
// patternShift is the band phase in band widths of segSize, so bands of negative index (summed
// backwards from 0) fill the frame's near side when the phase is positive. The table runs on
// until the last band reaches past the frame's far side plus one pixel. lookup[k] covers
// u from recordOrigin + k, k = 0 .. floor(far side - recordOrigin) + 1; distances beyond either
// end belong to the first or the last band. The records start no earlier than `reach` before the
// frame's near side and, where the frame lies before band 0, end no later than `reach` past its
// far side (reach: how far beyond the frame's extent a lookup may fall, soft edges and an output
// beyond the frame).
struct BandTable {
    std::vector<Band> bands;         // in order across the bands
    std::vector<BandLookup> lookup;
    std::vector<int32_t> firstBands; // the band of lookup[k].end0 (a position in `bands`)
    float patternShift = 0.0f;
    float recordOrigin = 0.0f;       // a whole number: the floor of the first record's start
    bool shifted = false;            // some band's shift is not 0

    static BandTable build(const SliceParameters& parameters, float maxDist, float reach = 0.0f);

    // The position in `bands` of the band holding pattern distance u: the first band with
    // u <= end (the last band beyond them), found through the lookup as the GPU finds it.
    int32_t bandAt(float u) const;
};

} // namespace Tessarine::Lamino
