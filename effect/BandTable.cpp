#include "effect/BandTable.h"

#include <algorithm>
#include <cmath>

namespace Tessarine::Lamino {

namespace {

constexpr float kHashWeightX = 12.9898f;
constexpr float kHashWeightY = 78.233f;
constexpr float kHashScale = 43758.5453f;
constexpr float kOffsetSeedShift = 2.0f;
constexpr float kLayerSeedShift = 4.0f;
constexpr float kSmallestBandWidth = 1.0f;
constexpr float kLayerChoiceThreshold = 0.4999f;
constexpr double kSeedScale = 10000.0;

float seedValue(int32_t seed)
{
    return static_cast<float>(seed / kSeedScale);
}

// Hash in [-limit, limit).
float spread(float x, float y, float limit)
{
    return (bandHash(x, y) * 2.0f - 1.0f) * limit;
}

float shiftOf(float index, const SliceParameters& p, float maxDist)
{
    const float h = bandHash(index, seedValue(p.offsetRandomSeed) + kOffsetSeedShift);
    const float offsetRandom = static_cast<float>(p.offsetRandom);
    const float oneWay = h * offsetRandom;
    const float twoWay = (h * 2.0f - 1.0f) * offsetRandom;
    return (p.bothDirection ? twoWay : oneWay) * maxDist;
}

float choiceOf(float index, const SliceParameters& p)
{
    const float h = bandHash(index, seedValue(p.layerRandomSeed) + kLayerSeedShift);
    return h >= kLayerChoiceThreshold ? 1.0f : 0.0f;
}

} // namespace

float bandHash(float x, float y)
{
    const float argument = kHashWeightX * x + kHashWeightY * y;
    const float value = kHashScale * static_cast<float>(std::sin(static_cast<double>(argument)));
    return value - std::floor(value);
}

BandTable BandTable::build(const SliceParameters& p, float maxDist)
{
    BandTable table;
    // At least one slice: the extent is divided by the count.
    const float segSize = maxDist / static_cast<float>(std::max<int32_t>(1, p.count));
    const float sizeSeed = seedValue(p.sizeRandomSeed);
    const float sizeRandom = static_cast<float>(p.sizeRandom);
    const float last = maxDist + 1.0f;
    float end = 0.0f;
    for (int32_t i = 0; table.bands.empty() || end <= last; ++i) {
        const float index = static_cast<float>(i);
        const float width = segSize + spread(index, sizeSeed, sizeRandom) * segSize;
        end += std::max(kSmallestBandWidth, width);
        table.bands.push_back({end, shiftOf(index, p, maxDist), choiceOf(index, p), 0.0f});
        table.shifted = table.shifted || table.bands.back().shift != 0.0f;
    }

    const int32_t lastRecord = static_cast<int32_t>(std::floor(maxDist)) + 1;
    const int32_t lastBand = static_cast<int32_t>(table.bands.size()) - 1;
    table.lookup.reserve(static_cast<size_t>(lastRecord) + 1);
    table.firstBands.reserve(static_cast<size_t>(lastRecord) + 1);
    int32_t first = 0;
    for (int32_t k = 0; k <= lastRecord; ++k) {
        while (first < lastBand && static_cast<float>(k) > table.bands[size_t(first)].end) {
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

int32_t BandTable::bandAt(float dist) const
{
    const int32_t lastRecord = static_cast<int32_t>(lookup.size()) - 1;
    const int32_t lastBand = static_cast<int32_t>(bands.size()) - 1;
    const int32_t k = std::clamp(static_cast<int32_t>(std::floor(dist)), 0, lastRecord);
    const int32_t first = firstBands[size_t(k)];
    const BandLookup& record = lookup[size_t(k)];
    const int32_t step = (dist > record.end0 ? 1 : 0) + (dist > record.end1 ? 1 : 0);
    return std::min(first + step, lastBand);
}

} // namespace Tessarine::Lamino
