#include "effect/BandTable.h"

#include <algorithm>
#include <cmath>

#include "effect/SliceGeometry.h"

namespace Tessarine::Lamino {

namespace {

constexpr float kHashWeightX = 12.9898f;
constexpr float kHashWeightY = 78.233f;
constexpr float kHashScale = 43758.5453f;
constexpr float kOffsetSeedShift = 2.0f;
constexpr float kLayerSeedShift = 4.0f;
// The hash rows of the evolution's phases lie above every row of the values (0 to 5).
constexpr float kEvolutionRowShift = 8.0f;
constexpr float kSmallestBandWidth = 1.0f;
constexpr float kLayerChoiceThreshold = 0.4999f;
constexpr double kSeedScale = 10000.0;
constexpr double kMaxBandPhase = 1000.0;
constexpr double kTwoPi = 6.28318530717958647692;

float seedValue(int32_t seed)
{
    return static_cast<float>(seed / kSeedScale);
}

// The random values of one render's bands, at the render's evolution.
struct BandRandom {
    const SliceParameters& p;
    float maxDist;
    double turns = reduceToOneTurn(p.evolution) / 360.0;

    float width(float index, float segSize) const
    {
        const float h = evolvedHash(index, seedValue(p.sizeRandomSeed), turns);
        const float spread = (h * 2.0f - 1.0f) * static_cast<float>(p.sizeRandom);
        return std::max(kSmallestBandWidth, segSize + spread * segSize);
    }

    float shift(float index) const
    {
        const float h =
            evolvedHash(index, seedValue(p.offsetRandomSeed) + kOffsetSeedShift, turns);
        const float offsetRandom = static_cast<float>(p.offsetRandom);
        const float oneWay = h * offsetRandom;
        const float twoWay = (h * 2.0f - 1.0f) * offsetRandom;
        return (p.bothDirection ? twoWay : oneWay) * maxDist;
    }

    float choice(float index) const
    {
        const float h = evolvedHash(index, seedValue(p.layerRandomSeed) + kLayerSeedShift, turns);
        return h >= kLayerChoiceThreshold ? 1.0f : 0.0f;
    }

    Band band(int32_t i, float start, float end) const
    {
        const float index = static_cast<float>(i);
        return {start, end, shift(index), choice(index)};
    }
};

// Reflects x into [0, 1] at both ends, so that a value pushed past an end turns back.
double fold(double x)
{
    const double period = x - 2.0 * std::floor(x / 2.0);
    return period <= 1.0 ? period : 2.0 - period;
}

// A phase the host hands out beyond the control's range (or not a number) would build bands
// without end; it is held to the range.
double boundedPhase(double phase)
{
    return std::isfinite(phase) ? std::clamp(phase, -kMaxBandPhase, kMaxBandPhase) : 0.0;
}

} // namespace

float bandHash(float x, float y)
{
    const float argument = kHashWeightX * x + kHashWeightY * y;
    const float value = kHashScale * static_cast<float>(std::sin(static_cast<double>(argument)));
    return value - std::floor(value);
}

float evolvedHash(float x, float y, double turns)
{
    const float h = bandHash(x, y);
    if (turns == 0.0) {
        return h;
    }
    const double phase = kTwoPi * bandHash(x, y + kEvolutionRowShift);
    const double moved = h + kEvolutionReach * (std::cos(kTwoPi * turns + phase) - std::cos(phase));
    return static_cast<float>(fold(moved));
}

BandTable BandTable::build(const SliceParameters& p, float maxDist, float reach)
{
    BandTable table;
    const BandRandom random{p, maxDist};
    // At least one slice: the extent is divided by the count.
    const float segSize = maxDist / static_cast<float>(std::max<int32_t>(1, p.count));
    table.patternShift = static_cast<float>(boundedPhase(p.bandPhase)) * segSize;
    const float nearSide = -table.patternShift;
    const float farSide = maxDist - table.patternShift;
    const float last = farSide + 1.0f;

    // Backwards from band 0 while the near side of the frame lies before the first band.
    std::vector<Band> before;
    for (float start = 0.0f; start > nearSide;) {
        const int32_t i = -1 - static_cast<int32_t>(before.size());
        const float end = start;
        start -= random.width(static_cast<float>(i), segSize);
        before.push_back(random.band(i, start, end));
    }
    table.bands.assign(before.rbegin(), before.rend());
    float end = 0.0f;
    for (int32_t i = 0; i == 0 || end <= last; ++i) {
        const float start = end;
        end += random.width(static_cast<float>(i), segSize);
        table.bands.push_back(random.band(i, start, end));
    }
    for (const Band& band : table.bands) {
        table.shifted = table.shifted || band.shift != 0.0f;
    }

    // Soft edges look bands up half the softness past the frame's far side. Where a band phase
    // moves the whole frame before band 0, the bands built back from band 0 lie past it too, so
    // the records reach band 0; otherwise the last band holds everything past the far side.
    // Records are kept only where a lookup can fall, `reach` (and two pixels for rounding) about
    // the frame: a band phase of hundreds of band widths would otherwise ask for a record for
    // every pixel between band 0 and the frame, more than a texture holds once the shutter's
    // samples each bring a table.
    const float margin = std::max(reach, 0.0f) + 2.0f;
    table.recordOrigin =
        std::floor(std::max(table.bands.front().start, nearSide - margin));
    const float recordsEnd = std::max(farSide, std::min(0.0f, farSide + margin));
    const int32_t lastRecord =
        static_cast<int32_t>(std::floor(recordsEnd - table.recordOrigin)) + 1;
    const int32_t lastBand = static_cast<int32_t>(table.bands.size()) - 1;
    table.lookup.reserve(static_cast<size_t>(lastRecord) + 1);
    table.firstBands.reserve(static_cast<size_t>(lastRecord) + 1);
    int32_t first = 0;
    for (int32_t k = 0; k <= lastRecord; ++k) {
        const float from = table.recordOrigin + static_cast<float>(k);
        while (first < lastBand && from > table.bands[size_t(first)].end) {
            ++first;
        }
        const Band& b0 = table.bands[size_t(first)];
        const Band& b1 = table.bands[size_t(std::min(first + 1, lastBand))];
        const Band& b2 = table.bands[size_t(std::min(first + 2, lastBand))];
        table.lookup.push_back(
            {b0.end, b1.end, b0.shift, b1.shift, b2.shift, b0.choice, b1.choice, b2.choice});
        table.firstBands.push_back(first);
    }
    return table;
}

int32_t BandTable::bandAt(float u) const
{
    const int32_t lastRecord = static_cast<int32_t>(lookup.size()) - 1;
    const int32_t lastBand = static_cast<int32_t>(bands.size()) - 1;
    const int32_t k =
        std::clamp(static_cast<int32_t>(std::floor(u - recordOrigin)), 0, lastRecord);
    const int32_t first = firstBands[size_t(k)];
    const BandLookup& record = lookup[size_t(k)];
    const int32_t step = (u > record.end0 ? 1 : 0) + (u > record.end1 ? 1 : 0);
    return std::min(first + step, lastBand);
}

} // namespace Tessarine::Lamino
