#include "model/SliceModel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace Tessarine::Lamino {

namespace {

constexpr double kPi = 3.14159265358979323846;

float fractf(float v) { return v - std::floor(v); }

float nrand(float x, float y)
{
    const float argument = 12.9898f * x + 78.233f * y;
    return fractf(43758.5453f * static_cast<float>(std::sin(double(argument))));
}

float seedValue(int seed) { return static_cast<float>(seed / 10000.0); }

// The hash moved continuously by the evolution: half of (cos 2 pi (t + q) - cos 2 pi q), q a
// second hash of the band eight rows up, reflected back into [0, 1].
float evolved(float x, float y, double turns)
{
    const float h = nrand(x, y);
    if (turns == 0.0) {
        return h;
    }
    const double q = 2.0 * kPi * nrand(x, y + 8.0f);
    double v = h + 0.5 * (std::cos(2.0 * kPi * turns + q) - std::cos(q));
    v = std::fmod(v, 2.0);
    if (v < 0.0) {
        v += 2.0;
    }
    return float(v <= 1.0 ? v : 2.0 - v);
}

double oneTurn(double angle)
{
    double turn = std::fmod(angle, 360.0);
    if (turn < 0) {
        turn += 360.0;
    }
    return turn >= 0 && turn < 360 ? turn : 0.0;
}

// A position in frame pixels mapped into the frame by the edge mode, on one axis of size `size`.
float wrapped(float c, float size, int edgeType)
{
    const float turns = std::floor(c / size);
    const float f = c - size * turns;
    if (edgeType == 1) {
        return f;
    }
    return std::fmod(turns, 2.0f) != 0.0f ? size - f : f;
}

uint8_t quantize(float v)
{
    return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}

} // namespace

SliceModel::SliceModel(const ModelControls& controls, int w, int h)
    : controls(controls), width(float(w)), height(float(h))
{
    const double turn = oneTurn(controls.angle);
    turns = oneTurn(controls.evolution) / 360.0;
    const double a = turn * kPi / 180.0;
    onX = float(std::sin(a));
    onY = float(std::cos(a));
    acrossX = float(std::cos(a));
    acrossY = float(-std::sin(a));
    maxDist = float(width * std::fabs(std::cos(a)) + height * std::fabs(std::sin(a)));
    startX = turn >= 90 && turn < 270 ? width : 0.0f;
    startY = turn < 180 ? height : 0.0f;

    const float segSize = maxDist / static_cast<float>(std::max(1, controls.count));
    const float sizeSeed = seedValue(controls.sizeRandomSeed);
    const float spread = static_cast<float>(controls.sizeRandom);
    auto width = [&](int i) {
        const float r = (random(i, sizeSeed) * 2.0f - 1.0f) * spread;
        return std::max(1.0f, segSize + r * segSize);
    };
    phaseShift = static_cast<float>(controls.bandPhase) * segSize;
    // Bands before band 0 reach back to the pattern distance of the frame's near side.
    std::vector<float> beforeStarts;
    for (float start = 0.0f; start > -phaseShift;) {
        start -= width(-1 - int(beforeStarts.size()));
        beforeStarts.push_back(start);
    }
    firstBand = -int(beforeStarts.size());
    for (auto b = beforeStarts.rbegin(); b != beforeStarts.rend(); ++b) {
        starts.push_back(*b);
        ends.push_back(b + 1 == beforeStarts.rend() ? 0.0f : *(b + 1));
    }
    float end = 0.0f;
    for (int i = 0; i == 0 || end <= maxDist - phaseShift + 1.0f; ++i) {
        starts.push_back(end);
        end += width(i);
        ends.push_back(end);
    }
    shiftOf = [this](int band) { return hashShift(band); };
    choosesCustom = [this](int band) { return hashChoosesCustom(band); };
}

float SliceModel::random(int band, float row) const
{
    return evolved(float(band), row, turns);
}

float SliceModel::patternDistance(int x, int y) const
{
    return std::fabs((x + 0.5f - startX) * acrossX + (y + 0.5f - startY) * acrossY) - phaseShift;
}

int SliceModel::bandAtPattern(float u) const
{
    for (size_t i = 0; i < ends.size(); ++i) {
        if (u <= ends[i]) {
            return firstBand + int(i);
        }
    }
    return firstBand + int(ends.size()) - 1;
}

int SliceModel::bandOf(int x, int y) const
{
    return bandAtPattern(patternDistance(x, y));
}

float SliceModel::bandStart(int band) const
{
    return starts[size_t(band - firstBand)];
}

float SliceModel::bandEnd(int band) const
{
    return ends[size_t(band - firstBand)];
}

float SliceModel::hashShift(int band) const
{
    const float h = random(band, seedValue(controls.offsetRandomSeed) + 2.0f);
    const float limit = static_cast<float>(controls.offsetRandom);
    const float oneWay = h * limit;
    const float twoWay = (h * 2.0f - 1.0f) * limit;
    return (controls.bothDirection ? twoWay : oneWay) * maxDist;
}

bool SliceModel::hashChoosesCustom(int band) const
{
    return random(band, seedValue(controls.layerRandomSeed) + 4.0f) >= 0.4999f;
}

// Linear filtering with clamp-to-edge at a position in the image's own pixels, each texel's
// colour counted by its alpha (a transparent texel adds no colour). Where the filtered alpha is 0
// the unweighted colours are blended instead, so that colour under zero alpha survives.
SliceModel::Rgba SliceModel::sample(const ArgbImage& image, float px, float py) const
{
    const float tx = px - 0.5f, ty = py - 0.5f;
    const float fx = std::floor(tx), fy = std::floor(ty);
    const float wx = tx - fx, wy = ty - fy;
    auto texel = [&](float x, float y) {
        const int cx = int(std::clamp(x, 0.0f, float(image.width - 1)));
        const int cy = int(std::clamp(y, 0.0f, float(image.height - 1)));
        const uint8_t* p = image.at(cx, cy);
        return Rgba{p[1] / 255.0f, p[2] / 255.0f, p[3] / 255.0f, p[0] / 255.0f};
    };
    const Rgba t[4] = {texel(fx, fy), texel(fx + 1, fy), texel(fx, fy + 1), texel(fx + 1, fy + 1)};
    const float w[4] = {(1 - wx) * (1 - wy), wx * (1 - wy), (1 - wx) * wy, wx * wy};
    Rgba weighted{0, 0, 0, 0}, plain{0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        weighted.r += w[i] * t[i].a * t[i].r;
        weighted.g += w[i] * t[i].a * t[i].g;
        weighted.b += w[i] * t[i].a * t[i].b;
        weighted.a += w[i] * t[i].a;
        plain.r += w[i] * t[i].r;
        plain.g += w[i] * t[i].g;
        plain.b += w[i] * t[i].b;
    }
    if (weighted.a <= 0.0f) {
        return {plain.r, plain.g, plain.b, 0.0f};
    }
    return {weighted.r / weighted.a, weighted.g / weighted.a, weighted.b / weighted.a, weighted.a};
}

// What band `band` shows at the pixel centre (cx, cy), straight colour.
SliceModel::Rgba SliceModel::bandPixel(int band, float cx, float cy, const ArgbImage& input,
                                       const ArgbImage* custom) const
{
    const float shift = shiftOf(band);
    const float px = cx + shift * onX;
    const float py = cy + shift * onY;
    const float soft = float(controls.edgeSoftness);
    float mx = px, my = py, mask = 1.0f;
    switch (controls.edgeType) {
    case 0:
        if (soft > 0.0f) {
            // Coverage ramps over the softness, centred on the frame's edge.
            auto ramp = [soft](float v) { return std::clamp(v / soft, 0.0f, 1.0f); };
            mask = ramp(px + soft / 2) * ramp(width - px + soft / 2) * ramp(py + soft / 2) *
                   ramp(height - py + soft / 2);
        } else {
            mask = (px >= 0 && px < width && py >= 0 && py < height) ? 1.0f : 0.0f;
        }
        break;
    case 1:
    case 2: mx = wrapped(px, width, controls.edgeType), my = wrapped(py, height, controls.edgeType); break;
    default: break;
    }
    // Coverage scales alpha alone (with a hard edge, colour too: it only matters where alpha is 0).
    const float colourMask = soft > 0.0f ? 1.0f : mask;
    Rgba c0 = sample(input, mx, my);
    c0 = {c0.r * colourMask, c0.g * colourMask, c0.b * colourMask, c0.a * mask};
    if (!custom || !choosesCustom(band)) {
        return c0;
    }
    // The custom layer is stretched to the frame.
    Rgba c1 = sample(*custom, mx * (custom->width / width), my * (custom->height / height));
    c1 = {c1.r * colourMask, c1.g * colourMask, c1.b * colourMask,
          c1.a * mask * float(controls.layerAlpha)};
    // "Over": the input's colour counts by its own alpha and by what the custom layer leaves.
    const float under = c0.a * (1.0f - c1.a);
    const float a = under + c1.a;
    if (a <= 0.0f) {
        return c0;
    }
    return {(c0.r * under + c1.r * c1.a) / a, (c0.g * under + c1.g * c1.a) / a,
            (c0.b * under + c1.b * c1.a) / a, a};
}

SliceModel::Rgba SliceModel::pixel(int x, int y, const ArgbImage& input, const ArgbImage* custom) const
{
    const float cx = x + 0.5f, cy = y + 0.5f;
    const float soft = float(controls.edgeSoftness);
    if (soft <= 0.0f) {
        return bandPixel(bandOf(x, y), cx, cy, input, custom);
    }
    // Soft edges: each band weighted by its share of a window `soft` wide across the bands,
    // centred on the pixel, averaged premultiplied.
    const float u = patternDistance(x, y);
    const float low = u - soft / 2, high = u + soft / 2;
    const int first = bandAtPattern(low), last = bandAtPattern(high);
    Rgba sum{0, 0, 0, 0};
    for (int band = first; band <= last; ++band) {
        const float from = band == first ? low : starts[size_t(band - firstBand)];
        const float to = band == last ? high : ends[size_t(band - firstBand)];
        const float w = (to - from) / soft;
        const Rgba c = bandPixel(band, cx, cy, input, custom);
        sum = {sum.r + w * c.r * c.a, sum.g + w * c.g * c.a, sum.b + w * c.b * c.a, sum.a + w * c.a};
    }
    if (sum.a <= 0.0f) {
        return {0, 0, 0, 0};
    }
    return {sum.r / sum.a, sum.g / sum.a, sum.b / sum.a, sum.a};
}

template <typename Pixel>
ArgbImage SliceModel::renderWith(const ArgbImage& input, Pixel pixelAt) const
{
    ArgbImage out(input.width, input.height);
    for (int y = 0; y < input.height; ++y) {
        for (int x = 0; x < input.width; ++x) {
            const Rgba c = pixelAt(x, y);
            uint8_t* o = out.at(x, y);
            // Straight colour, stored once; a pixel whose alpha stores as 0 stores no colour.
            const uint8_t a8 = quantize(c.a);
            if (a8 == 0) {
                o[0] = o[1] = o[2] = o[3] = 0;
                continue;
            }
            o[0] = a8;
            o[1] = quantize(c.r);
            o[2] = quantize(c.g);
            o[3] = quantize(c.b);
        }
    }
    return out;
}

ArgbImage SliceModel::render(const ArgbImage& input, const ArgbImage* custom) const
{
    return renderWith(input, [&](int x, int y) { return pixel(x, y, input, custom); });
}

ArgbImage SliceModel::renderBand(int band, const ArgbImage& input, const ArgbImage* custom) const
{
    ModelControls hard = controls;
    hard.edgeSoftness = 0.0;
    const SliceModel sharp(hard, int(width), int(height));
    return renderWith(input, [&](int x, int y) {
        return sharp.bandPixel(band, x + 0.5f, y + 0.5f, input, custom);
    });
}

int maxChannelDifference(const ArgbImage& a, const ArgbImage& b)
{
    int worst = 0;
    for (size_t i = 0; i < a.argb.size() && i < b.argb.size(); ++i) {
        worst = std::max(worst, std::abs(int(a.argb[i]) - int(b.argb[i])));
    }
    return worst;
}

size_t differingPixels(const ArgbImage& a, const ArgbImage& b, int tolerance)
{
    size_t count = 0;
    for (size_t p = 0; p + 3 < a.argb.size() && p + 3 < b.argb.size(); p += 4) {
        for (int c = 0; c < 4; ++c) {
            if (std::abs(int(a.argb[p + c]) - int(b.argb[p + c])) > tolerance) {
                ++count;
                break;
            }
        }
    }
    return count;
}

}  // namespace Tessarine::Lamino
