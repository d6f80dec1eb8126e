// The band table and the slice geometry, worked out on the CPU: no GL needed.

#include "effect/BandTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "effect/SliceGeometry.h"

namespace Tessarine::Lamino {
namespace {

// The first band with dist <= end, walking the ends from band 0 as the definition says.
int32_t walk(const BandTable& table, float dist)
{
    for (size_t i = 0; i < table.bands.size(); ++i) {
        if (dist <= table.bands[i].end) {
            return static_cast<int32_t>(i);
        }
    }
    return static_cast<int32_t>(table.bands.size()) - 1;
}

TEST(BandHash, GivesPinnedSinglePrecisionValues)
{
    // Worked out independently in IEEE single precision with a correctly rounded sine.
    EXPECT_EQ(bandHash(0.0f, 0.0f), 0.0f);
    EXPECT_EQ(bandHash(1.0f, 0.0f), 0.94140625f);
    EXPECT_EQ(bandHash(3.0f, 2.0f), 0.666015625f);
    EXPECT_EQ(bandHash(7.0f, 0.0001f + 2.0f), 0.064453125f);
    EXPECT_EQ(bandHash(1999.0f, 1.0f), 0.984375f);
    for (int i = 0; i < 500; ++i) {
        const float h = bandHash(float(i), 0.37f);
        EXPECT_GE(h, 0.0f);
        EXPECT_LT(h, 1.0f);
    }
}

TEST(BandTable, EqualBandsEndAtWholeFractionsOfTheExtent)
{
    SliceParameters p;
    p.count = 4;
    const BandTable table = BandTable::build(p, 100.0f);
    ASSERT_GE(table.bands.size(), 5u) << "the table runs past the frame";
    EXPECT_EQ(table.bands[0].end, 25.0f);
    EXPECT_EQ(table.bands[1].end, 50.0f);
    EXPECT_EQ(table.bands[3].end, 100.0f);
    EXPECT_GT(table.bands.back().end, 101.0f);
    EXPECT_EQ(table.bandAt(24.5f), 0);
    EXPECT_EQ(table.bandAt(25.0f), 0) << "a distance on a boundary belongs to the band ending there";
    EXPECT_EQ(table.bandAt(25.5f), 1);
    EXPECT_EQ(table.bandAt(99.5f), 3);
    EXPECT_EQ(table.lookup.size(), 102u) << "one record per whole pixel up to maxDist + 1";
    EXPECT_FALSE(table.shifted);
}

TEST(BandTable, LookupFindsTheBandTheWalkFindsForEveryDistance)
{
    SliceParameters p;
    for (int32_t count : {1, 7, 300, 2000}) {
        for (double sizeRandom : {0.0, 0.5, 1.0}) {
            p.count = count;
            p.sizeRandom = sizeRandom;
            p.sizeRandomSeed = 4321;
            p.offsetRandom = 0.3;
            p.layerRandomSeed = 55;
            const float maxDist = 517.25f;
            const BandTable table = BandTable::build(p, maxDist);
            for (float d = -0.5f; d < maxDist + 1.5f; d += 0.0625f) {
                ASSERT_EQ(table.bandAt(d), walk(table, d))
                    << "count " << count << ", size random " << sizeRandom << ", distance " << d;
            }
            // Each record holds the three bands that may hold its distances, however the
            // single-precision sums round.
            const int32_t last = static_cast<int32_t>(table.bands.size()) - 1;
            for (size_t k = 0; k < table.lookup.size(); ++k) {
                const BandLookup& r = table.lookup[k];
                const int32_t first = walk(table, float(k));
                const auto& bands = table.bands;
                ASSERT_EQ(r.end0, bands[size_t(first)].end);
                ASSERT_EQ(r.end1, bands[size_t(std::min(first + 1, last))].end);
                ASSERT_EQ(r.shift2, bands[size_t(std::min(first + 2, last))].shift);
                ASSERT_EQ(r.choice2, bands[size_t(std::min(first + 2, last))].choice);
            }
            for (const Band& band : table.bands) {
                ASSERT_EQ(table.bandAt(band.end), walk(table, band.end));
                ASSERT_EQ(table.bandAt(std::nextafter(band.end, 1e9f)),
                          walk(table, std::nextafter(band.end, 1e9f)));
            }
        }
    }
}

TEST(BandTable, WidthsSpreadAroundTheMeanAndNeverFallBelowOnePixel)
{
    SliceParameters p;
    p.count = 50;
    p.sizeRandom = 1.0;
    p.sizeRandomSeed = 77;
    const BandTable table = BandTable::build(p, 1000.0f);
    float previous = 0.0f, narrowest = 1e9f, widest = 0.0f;
    for (const Band& band : table.bands) {
        const float width = band.end - previous;
        narrowest = std::min(narrowest, width);
        widest = std::max(widest, width);
        previous = band.end;
    }
    EXPECT_GE(narrowest, 1.0f);
    EXPECT_LT(narrowest, 5.0f) << "100% size random reaches the one-pixel floor";
    EXPECT_GT(widest, 30.0f) << "and nearly twice the mean width of 20";
    EXPECT_LE(widest, 40.0f);

    // More slices than pixels: every band one pixel wide.
    p.count = 2000;
    p.sizeRandom = 0.0;
    const BandTable narrow = BandTable::build(p, 100.0f);
    EXPECT_EQ(narrow.bands[0].end, 1.0f);
    EXPECT_EQ(narrow.bands[41].end, 42.0f);
}

TEST(BandTable, ShiftsScaleWithTheExtentAndFollowTheDirectionMode)
{
    SliceParameters p;
    p.count = 200;
    p.offsetRandom = 0.3;
    p.offsetRandomSeed = 9;
    p.bothDirection = false;
    const float maxDist = 400.0f;
    const BandTable oneWay = BandTable::build(p, maxDist);
    p.bothDirection = true;
    const BandTable bothWays = BandTable::build(p, maxDist);
    int negative = 0;
    for (size_t i = 0; i < oneWay.bands.size(); ++i) {
        const float h = bandHash(float(i), 0.0009f + 2.0f);
        EXPECT_FLOAT_EQ(oneWay.bands[i].shift, h * 0.3f * maxDist);
        EXPECT_FLOAT_EQ(bothWays.bands[i].shift, (h * 2.0f - 1.0f) * 0.3f * maxDist);
        EXPECT_GE(oneWay.bands[i].shift, 0.0f);
        negative += bothWays.bands[i].shift < 0.0f;
    }
    EXPECT_GT(negative, 50);
    EXPECT_TRUE(oneWay.shifted);
}

TEST(BandTable, AboutHalfOfTheBandsChooseTheCustomLayer)
{
    SliceParameters p;
    p.count = 1000;
    p.layerRandomSeed = 123;
    const BandTable table = BandTable::build(p, 1000.0f);
    int chosen = 0;
    for (size_t i = 0; i < table.bands.size(); ++i) {
        const float h = bandHash(float(i), 0.0123f + 4.0f);
        EXPECT_EQ(table.bands[i].choice, h >= 0.4999f ? 1.0f : 0.0f) << "band " << i;
        chosen += table.bands[i].choice != 0.0f;
    }
    EXPECT_GT(chosen, 400);
    EXPECT_LT(chosen, 600);
}

// Everything the GPU reads of a table, compared to the bit.
bool sameTable(const BandTable& a, const BandTable& b)
{
    auto bytes = [](const auto& v) { return v.size() * sizeof(v[0]); };
    return bytes(a.bands) == bytes(b.bands) && bytes(a.lookup) == bytes(b.lookup) &&
           std::memcmp(a.bands.data(), b.bands.data(), bytes(a.bands)) == 0 &&
           std::memcmp(a.lookup.data(), b.lookup.data(), bytes(a.lookup)) == 0 &&
           a.firstBands == b.firstBands && a.patternShift == b.patternShift &&
           a.recordOrigin == b.recordOrigin;
}

SliceParameters lively()
{
    SliceParameters p;
    p.count = 17;
    p.sizeRandom = 0.6;
    p.sizeRandomSeed = 4;
    p.offsetRandom = 0.35;
    p.offsetRandomSeed = 9;
    p.layerRandomSeed = 2;
    return p;
}

TEST(BandTable, EvolutionOfWholeTurnsGivesTheTableOfNone)
{
    SliceParameters p = lively();
    const BandTable none = BandTable::build(p, 300.0f);
    for (double turns : {360.0, 720.0, -360.0, 0.0}) {
        p.evolution = turns;
        EXPECT_TRUE(sameTable(BandTable::build(p, 300.0f), none)) << turns;
    }
    p.evolution = 90.0;
    EXPECT_FALSE(sameTable(BandTable::build(p, 300.0f), none));
}

// The values move by at most 2 pi kEvolutionReach per turn, so a shift of both directions moves
// by at most twice that times offsetRandom maxDist: 2 pi / 360 x 0.35 x 300 = 1.83 pixels per
// degree here.
TEST(BandTable, EvolutionMovesEveryShiftByABoundedAmountPerDegree)
{
    const float maxDist = 300.0f;
    SliceParameters p = lively();
    const double perDegree = 2.0 * 6.283185307 * kEvolutionReach / 360.0 * p.offsetRandom * maxDist;
    double largest = 0.0;
    for (double degrees = 0.0; degrees < 360.0; degrees += 7.0) {
        p.evolution = degrees;
        const BandTable before = BandTable::build(p, maxDist);
        p.evolution = degrees + 0.5;
        const BandTable after = BandTable::build(p, maxDist);
        for (size_t i = 0; i < std::min(before.bands.size(), after.bands.size()); ++i) {
            const double moved = std::fabs(after.bands[i].shift - before.bands[i].shift);
            EXPECT_LE(moved, 0.5 * perDegree + 1e-4) << degrees << " band " << i;
            largest = std::max(largest, moved);
        }
    }
    EXPECT_GT(largest, 0.1 * perDegree) << "the shifts do move";
    for (int i = 0; i < 200; ++i) {
        const float h = evolvedHash(float(i), 0.3f, i / 200.0);
        EXPECT_GE(h, 0.0f);
        EXPECT_LE(h, 1.0f);
    }
}

// Equal bands 20 pixels wide: a phase of one width brings back every boundary, half a width
// moves them all by 10 pixels, and band -1 comes in at the near side.
TEST(BandTable, PhaseSlidesBoundariesAcrossTheBandsAndOneWidthBringsThemBack)
{
    SliceParameters p;
    p.count = 5;
    const float maxDist = 100.0f;
    auto boundaries = [&](double phase) {
        p.bandPhase = phase;
        const BandTable table = BandTable::build(p, maxDist);
        std::vector<float> found;
        for (float d = 0.25f; d + 0.5f < maxDist; d += 0.5f) {
            if (table.bandAt(d - table.patternShift) != table.bandAt(d + 0.5f - table.patternShift)) {
                found.push_back(d + 0.25f);
            }
        }
        return found;
    };
    const std::vector<float> none = boundaries(0.0);
    EXPECT_EQ(none, (std::vector<float>{20.0f, 40.0f, 60.0f, 80.0f}));
    EXPECT_EQ(boundaries(1.0), none);
    EXPECT_EQ(boundaries(-1.0), none);
    EXPECT_EQ(boundaries(0.5), (std::vector<float>{10.0f, 30.0f, 50.0f, 70.0f, 90.0f}));
    p.bandPhase = 1.0;
    const BandTable table = BandTable::build(p, maxDist);
    EXPECT_EQ(table.patternShift, 20.0f);
    EXPECT_EQ(table.bands.front().start, -20.0f);
    EXPECT_EQ(table.recordOrigin, -20.0f);
}

TEST(BandTable, LookupFindsTheWalkBandWithBandsBeforeBandZero)
{
    SliceParameters p = lively();
    p.bandPhase = 2.3;
    const BandTable table = BandTable::build(p, 211.0f);
    ASSERT_LT(table.bands.front().start, -table.patternShift);
    for (float u = -table.patternShift - 3.0f; u < 215.0f - table.patternShift; u += 0.37f) {
        EXPECT_EQ(table.bandAt(u), walk(table, u)) << u;
    }
    p.bandPhase = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(BandTable::build(p, 211.0f).patternShift, 0.0f) << "a phase that is no number";
}

// A band phase of more band widths than there are slices moves the whole frame before band 0 (or
// far past it); soft edges and an output beyond the frame then look bands up within `reach` of
// the frame, and the records cover that and little more: one per pixel of the frame's extent
// and the reach, however many band widths the phase moves the pattern by.
TEST(BandTable, LookupFindsTheWalkBandWithinTheReachWhateverThePhase)
{
    SliceParameters p = lively();
    for (auto [count, phase] :
         {std::pair{70, 100.0}, {5, 8.0}, {3, -9.5}, {1, -407.9}, {1, 1000.0}}) {
        p.count = count;
        p.bandPhase = phase;
        const float maxDist = 16.0f;
        const float reach = 6.5f;
        const BandTable table = BandTable::build(p, maxDist, reach);
        const float nearSide = -table.patternShift;
        for (float u = nearSide - reach; u <= nearSide + maxDist + reach; u += 0.25f) {
            ASSERT_EQ(table.bandAt(u), walk(table, u)) << "count " << count << ", phase " << phase
                                                       << ", distance " << u;
        }
        EXPECT_LE(table.lookup.size(), size_t(maxDist + 2 * reach) + 8) << count << ", " << phase;
    }
}

TEST(SliceGeometry, CornerDirectionsAndExtentFollowTheAngleReducedToOneTurn)
{
    constexpr float w = 1920.0f;
    constexpr float h = 1080.0f;
    const struct {
        double angle;
        float startX, startY;
    } cases[] = {
        {30.0, 0.0f, h},  {89.99, 0.0f, h}, {90.0, w, h},     {180.0, w, 0.0f},
        {270.0, 0.0f, 0.0f}, {-90.0, 0.0f, 0.0f}, {360.0, 0.0f, h}, {450.0, w, h},
    };
    for (const auto& c : cases) {
        const SliceGeometry g = sliceGeometry(c.angle, w, h);
        EXPECT_EQ(g.startPoint[0], c.startX) << "angle " << c.angle;
        EXPECT_EQ(g.startPoint[1], c.startY) << "angle " << c.angle;
        // Every corner of the frame lies 0 to maxDist across the bands from startPoint.
        for (float x : {0.0f, w}) {
            for (float y : {0.0f, h}) {
                const float d = (x - g.startPoint[0]) * g.across[0] +
                                (y - g.startPoint[1]) * g.across[1];
                EXPECT_GE(d, -1e-3f) << "angle " << c.angle;
                EXPECT_LE(d, g.maxDist + 1e-3f) << "angle " << c.angle;
            }
        }
    }
    const SliceGeometry at30 = sliceGeometry(30.0, w, h);
    EXPECT_FLOAT_EQ(at30.along[0], 0.5f);
    EXPECT_FLOAT_EQ(at30.along[1], std::sqrt(3.0f) / 2);
    EXPECT_FLOAT_EQ(at30.across[0], at30.along[1]);
    EXPECT_FLOAT_EQ(at30.across[1], -at30.along[0]);
    EXPECT_FLOAT_EQ(at30.maxDist, w * std::sqrt(3.0f) / 2 + h * 0.5f);
    EXPECT_FLOAT_EQ(sliceGeometry(45.0, 100.0f, 50.0f).maxDist, 150.0f * 0.70710678f);
    EXPECT_EQ(sliceGeometry(0.0, w, h).maxDist, w);
    EXPECT_EQ(sliceGeometry(90.0, w, h).maxDist, h);
}

TEST(SliceGeometry, AnglesWholeTurnsApartGiveTheSameGeometryToTheBit)
{
    auto same = [](const SliceGeometry& a, const SliceGeometry& b) {
        return a.startPoint[0] == b.startPoint[0] && a.startPoint[1] == b.startPoint[1] &&
               a.along[0] == b.along[0] && a.along[1] == b.along[1] &&
               a.across[0] == b.across[0] && a.across[1] == b.across[1] &&
               a.maxDist == b.maxDist;
    };
    EXPECT_TRUE(same(sliceGeometry(30.0, 64, 48), sliceGeometry(390.0, 64, 48)));
    EXPECT_TRUE(same(sliceGeometry(-90.0, 64, 48), sliceGeometry(270.0, 64, 48)));
    EXPECT_TRUE(same(sliceGeometry(-330.0, 64, 48), sliceGeometry(30.0, 64, 48)));
    EXPECT_EQ(reduceToOneTurn(-1e-20), 0.0) << "a tiny negative that rounds up to 360";
    EXPECT_EQ(reduceToOneTurn(std::numeric_limits<double>::quiet_NaN()), 0.0);
    EXPECT_EQ(reduceToOneTurn(std::numeric_limits<double>::infinity()), 0.0);
    EXPECT_EQ(reduceToOneTurn(725.5), 5.5);
}

} // namespace
} // namespace Tessarine::Lamino
