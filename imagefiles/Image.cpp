#include "imagefiles/Image.h"

#include <cmath>

namespace Tessarine::Lamino {

namespace {

uint8_t eightFrom16(uint16_t value)
{
    return uint8_t((uint32_t(value) * 255 + 32767) / 65535);
}

// Clipped to 0..1 and rounded to the nearest of `full` + 1 levels; NaN counts as 0.
uint32_t levelFromFloat(float value, uint32_t full)
{
    if (!(value > 0.0f)) {
        return 0;
    }
    return value >= 1.0f ? full : uint32_t(std::lround(double(value) * full));
}

// Each sample of `from` through `convert` into `to`, resized to the same count.
template <class From, class To, class Convert>
void mapSamples(const std::vector<From>& from, std::vector<To>& to, Convert convert)
{
    to.resize(from.size());
    for (size_t i = 0; i < from.size(); ++i) {
        to[i] = convert(from[i]);
    }
}

}  // namespace

Image::Image(int32_t width, int32_t height, ImageDepth depth)
    : width(width), height(height), depth(depth)
{
    switch (depth) {
    case ImageDepth::Bits8: rgba.assign(sampleCount(), 0); break;
    case ImageDepth::Bits16: rgba16.assign(sampleCount(), 0); break;
    case ImageDepth::Float32: rgbaFloat.assign(sampleCount(), 0.0f); break;
    }
}

bool Image::holdsPixels() const
{
    if (width <= 0 || height <= 0) {
        return false;
    }
    switch (depth) {
    case ImageDepth::Bits8: return rgba.size() == sampleCount();
    case ImageDepth::Bits16: return rgba16.size() == sampleCount();
    case ImageDepth::Float32: return rgbaFloat.size() == sampleCount();
    }
    return false;
}

Image Image::converted(ImageDepth to) const
{
    if (to == depth) {
        return *this;
    }
    Image result;
    result.width = width;
    result.height = height;
    result.depth = to;
    if (depth == ImageDepth::Bits8 && to == ImageDepth::Bits16) {
        mapSamples(rgba, result.rgba16, [](uint8_t v) { return uint16_t(v * 257); });
    } else if (depth == ImageDepth::Bits8) {
        mapSamples(rgba, result.rgbaFloat, [](uint8_t v) { return float(v) / 255.0f; });
    } else if (depth == ImageDepth::Bits16 && to == ImageDepth::Bits8) {
        mapSamples(rgba16, result.rgba, eightFrom16);
    } else if (depth == ImageDepth::Bits16) {
        mapSamples(rgba16, result.rgbaFloat, [](uint16_t v) { return float(v) / 65535.0f; });
    } else if (to == ImageDepth::Bits8) {
        mapSamples(rgbaFloat, result.rgba, [](float v) { return uint8_t(levelFromFloat(v, 255)); });
    } else {
        mapSamples(rgbaFloat, result.rgba16,
                   [](float v) { return uint16_t(levelFromFloat(v, 65535)); });
    }
    return result;
}

void unpremultiplyFloat(Image& image)
{
    for (size_t i = 0; i < image.rgbaFloat.size(); i += 4) {
        float alpha = image.rgbaFloat[i + 3];
        if (alpha != 0.0f) {
            for (int c = 0; c < 3; ++c) {
                image.rgbaFloat[i + c] /= alpha;
            }
        }
    }
}

}  // namespace Tessarine::Lamino
