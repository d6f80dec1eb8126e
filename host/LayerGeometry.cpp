#include "host/LayerGeometry.h"

#include <algorithm>
#include <cmath>

namespace Tessarine::Lamino {

namespace {

// A frame side beyond this is no layer a host renders (its worlds stop at 30000 pixels); holding
// sizes to it keeps every product below in range.
constexpr int64_t kLargestSide = 1 << 20;
// Pixel aspect ratios beyond these are no footage's; they would only make degenerate geometry.
constexpr double kSmallestAspect = 0.01;
constexpr double kLargestAspect = 100.0;

bool usable(const PF_RationalScale& scale)
{
    return scale.num > 0 && scale.den > 0;
}

} // namespace

double rationalFactor(const PF_RationalScale& scale)
{
    return usable(scale) ? double(scale.num) / double(scale.den) : 1.0;
}

int32_t downsampledSize(int32_t size, const PF_RationalScale& scale)
{
    const int64_t side = std::clamp<int64_t>(size, 0, kLargestSide);
    if (!usable(scale)) {
        return static_cast<int32_t>(side);
    }
    const int64_t num = scale.num;
    const int64_t den = scale.den;
    return static_cast<int32_t>(std::min((side * num + den - 1) / den, kLargestSide));
}

LayerGeometry layerGeometry(const PF_InData* in_data)
{
    LayerGeometry g;
    if (!in_data) {
        return g;
    }
    g.downsampleX = rationalFactor(in_data->downsample_x);
    g.downsampleY = rationalFactor(in_data->downsample_y);
    g.pixelAspect =
        std::clamp(rationalFactor(in_data->pixel_aspect_ratio), kSmallestAspect, kLargestAspect);
    if (in_data->width > 0 && in_data->height > 0) {
        g.fullWidth = static_cast<int32_t>(std::min<int64_t>(in_data->width, kLargestSide));
        g.fullHeight = static_cast<int32_t>(std::min<int64_t>(in_data->height, kLargestSide));
        g.frame = PF_LRect{0, 0, downsampledSize(g.fullWidth, in_data->downsample_x),
                           downsampledSize(g.fullHeight, in_data->downsample_y)};
    }
    return g;
}

LayerGeometry layerGeometryOfFrame(const PF_InData* in_data, const PF_LRect& frame)
{
    LayerGeometry g = layerGeometry(in_data);
    g.frame = frame;
    const double width = std::max<double>(0.0, double(frame.right) - frame.left);
    const double height = std::max<double>(0.0, double(frame.bottom) - frame.top);
    g.fullWidth = static_cast<int32_t>(std::min<double>(std::round(width / g.downsampleX),
                                                        double(kLargestSide)));
    g.fullHeight = static_cast<int32_t>(std::min<double>(std::round(height / g.downsampleY),
                                                         double(kLargestSide)));
    return g;
}

bool hasPixels(const PF_LayerDef* world)
{
    return world && world->width > 0 && world->height > 0;
}

int32_t fullPixelsPerPixel(const PF_RationalScale& scale, int32_t largest)
{
    const int64_t num = scale.num;
    const int64_t den = scale.den;
    if (!usable(scale) || num >= den) {
        return 1;
    }
    const int64_t covered = (den + num - 1) / num;
    return static_cast<int32_t>(std::min<int64_t>(covered, largest));
}

bool isEmptyRect(const PF_LRect& rect)
{
    return rect.left >= rect.right || rect.top >= rect.bottom;
}

PF_LRect unitedRect(const PF_LRect& a, const PF_LRect& b)
{
    if (isEmptyRect(a)) {
        return b;
    }
    if (isEmptyRect(b)) {
        return a;
    }
    return PF_LRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                    std::max(a.bottom, b.bottom)};
}

PF_LRect intersectedRect(const PF_LRect& a, const PF_LRect& b)
{
    const PF_LRect both{std::max(a.left, b.left), std::max(a.top, b.top),
                        std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    return isEmptyRect(both) ? PF_LRect{0, 0, 0, 0} : both;
}

} // namespace Tessarine::Lamino
