#include "SliceModel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr float kDegreesToRadians = 0.017453292519943f;

float fractf(float v) { return v - std::floor(v); }

float nrand(float x, float y)
{
    return fractf(43758.5453f * std::sin(12.9898f * x + 78.233f * y));
}

float seedValue(int seed) { return static_cast<float>(seed / 10000.0); }

float distanceToLine(float px, float py, float x0, float y0, float x1, float y1)
{
    const float vx = x1 - x0, vy = y1 - y0;
    const float wx = px - x0, wy = py - y0;
    const float b = (wx * vx + wy * vy) / (vx * vx + vy * vy);
    const float dx = px - (x0 + b * vx), dy = py - (y0 + b * vy);
    return std::sqrt(dx * dx + dy * dy);
}

float mirror(float c)
{
    const float f = fractf(c);
    return std::fmod(std::floor(c), 2.0f) != 0.0f ? 1.0f - f : f;
}

uint8_t quantize(float v)
{
    return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}

} // namespace

SliceModel::SliceModel(const ModelControls& controls, int w, int h)
    : controls(controls), width(float(w)), height(float(h))
{
    const float angle = static_cast<float>(controls.angle);
    const float a = angle * kDegreesToRadians;
    onX = std::sin(a);
    onY = std::cos(a);
    float reduced = static_cast<float>(std::fmod(double(angle), 360.0));
    if (reduced < 0) {
        reduced += 360.0f;
    }
    float cx0, cy0, cx1, cy1;
    if (reduced < 90) {
        startX = 0, startY = height, cx0 = width, cy0 = 0, cx1 = 0, cy1 = height;
    } else if (reduced < 180) {
        startX = width, startY = height, cx0 = 0, cy0 = 0, cx1 = width, cy1 = height;
    } else if (reduced < 270) {
        startX = width, startY = 0, cx0 = width, cy0 = 0, cx1 = 0, cy1 = height;
    } else {
        startX = 0, startY = 0, cx0 = 0, cy0 = 0, cx1 = width, cy1 = height;
    }
    maxDist = distanceToLine(cx0, cy0, 0, 0, onX, onY) + distanceToLine(cx1, cy1, 0, 0, onX, onY);
    shiftOf = [this](int band) { return hashShift(band); };
    choosesCustom = [this](int band) { return hashChoosesCustom(band); };
}

int SliceModel::bandOf(int x, int y) const
{
    const float dist = distanceToLine(x + 0.5f, y + 0.5f, startX, startY, startX + onX, startY + onY);
    const float segSize = maxDist / static_cast<float>(controls.count);
    const float sizeSeed = seedValue(controls.sizeRandomSeed);
    const float spread = static_cast<float>(controls.sizeRandom);
    float end = 0.0f;
    for (int i = 0;; ++i) {
        const float random = (nrand(float(i), sizeSeed) * 2.0f - 1.0f) * spread;
        end += std::max(1.0f, segSize + random * segSize);
        if (dist <= end) {
            return i;
        }
    }
}

float SliceModel::hashShift(int band) const
{
    const float h = nrand(float(band), seedValue(controls.offsetRandomSeed) + 2.0f);
    const float limit = static_cast<float>(controls.offsetRandom);
    const float oneWay = h * limit;
    const float twoWay = (h * 2.0f - 1.0f) * limit;
    return (controls.bothDirection ? twoWay : oneWay) * maxDist;
}

bool SliceModel::hashChoosesCustom(int band) const
{
    return nrand(float(band), seedValue(controls.layerRandomSeed) + 4.0f) >= 0.4999f;
}

SliceModel::Rgba SliceModel::sample(const ArgbImage& image, float u, float v) const
{
    // Linear filtering with clamp-to-edge wrapping, on texel centres.
    const float tx = u * image.width - 0.5f, ty = v * image.height - 0.5f;
    const float fx = std::floor(tx), fy = std::floor(ty);
    const float wx = tx - fx, wy = ty - fy;
    auto texel = [&](int x, int y) {
        x = std::clamp(x, 0, image.width - 1);
        y = std::clamp(y, 0, image.height - 1);
        const uint8_t* p = image.at(x, y);
        return Rgba{p[1] / 255.0f, p[2] / 255.0f, p[3] / 255.0f, p[0] / 255.0f};
    };
    const Rgba t00 = texel(int(fx), int(fy)), t10 = texel(int(fx) + 1, int(fy));
    const Rgba t01 = texel(int(fx), int(fy) + 1), t11 = texel(int(fx) + 1, int(fy) + 1);
    auto lerp = [](float a, float b, float t) { return a + (b - a) * t; };
    auto mix2 = [&](float c00, float c10, float c01, float c11) {
        return lerp(lerp(c00, c10, wx), lerp(c01, c11, wx), wy);
    };
    return {mix2(t00.r, t10.r, t01.r, t11.r), mix2(t00.g, t10.g, t01.g, t11.g),
            mix2(t00.b, t10.b, t01.b, t11.b), mix2(t00.a, t10.a, t01.a, t11.a)};
}

SliceModel::Rgba SliceModel::pixel(int x, int y, const ArgbImage& input, const ArgbImage* custom) const
{
    const int band = bandOf(x, y);
    const float shift = shiftOf(band);
    const float u = (x + 0.5f + shift * onX) / width;
    const float v = (y + 0.5f + shift * onY) / height;
    float mu = u, mv = v, mask = 1.0f;
    switch (controls.edgeType) {
    case 0: mask = (u >= 0 && u < 1 && v >= 0 && v < 1) ? 1.0f : 0.0f; break;
    case 1: mu = fractf(u), mv = fractf(v); break;
    case 2: mu = mirror(u), mv = mirror(v); break;
    default: break;
    }
    Rgba c0 = sample(input, mu, mv);
    c0 = {c0.r * mask, c0.g * mask, c0.b * mask, c0.a * mask};
    if (!custom || !choosesCustom(band)) {
        return c0;
    }
    Rgba c1 = sample(*custom, mu, mv);
    c1 = {c1.r * mask, c1.g * mask, c1.b * mask, c1.a * mask * float(controls.layerAlpha)};
    const float keep = 1.0f - c1.a;
    return {c0.r * keep + c1.r * c1.a, c0.g * keep + c1.g * c1.a, c0.b * keep + c1.b * c1.a,
            c0.a * keep + c1.a};
}

ArgbImage SliceModel::render(const ArgbImage& input, const ArgbImage* custom) const
{
    ArgbImage out(input.width, input.height);
    for (int y = 0; y < input.height; ++y) {
        for (int x = 0; x < input.width; ++x) {
            const Rgba c = pixel(x, y, input, custom);
            // The drawing is stored premultiplied in 8 bits, then turned back into straight colour.
            const uint8_t a8 = quantize(c.a);
            uint8_t* o = out.at(x, y);
            if (a8 == 0) {
                o[0] = o[1] = o[2] = o[3] = 0;
                continue;
            }
            const float a = a8 / 255.0f;
            o[0] = a8;
            o[1] = quantize(quantize(c.r * c.a) / 255.0f / a);
            o[2] = quantize(quantize(c.g * c.a) / 255.0f / a);
            o[3] = quantize(quantize(c.b * c.a) / 255.0f / a);
        }
    }
    return out;
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
