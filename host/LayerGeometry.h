#pragma once

#include <cstdint>

#include "AE_Effect.h"

namespace Tessarine::Lamino {

// How a render's buffers relate to the layer, from what the host reports in PF_InData: the layer's
// size at full resolution (`width`, `height`, which downsampling does not change), the downsample
// factors (buffer pixels per full-resolution pixel) and the pixel aspect ratio (a pixel's width
// over its height). The frame is the layer's rect in buffer pixels, from its top-left: what the
// effect lays its bands over, whatever part of it the input world covers. The band geometry works
// in the layer's full-resolution square pixels.
struct LayerGeometry {
    int32_t fullWidth = 0;
    int32_t fullHeight = 0;
    double downsampleX = 1.0;
    double downsampleY = 1.0;
    double pixelAspect = 1.0;
    PF_LRect frame{0, 0, 0, 0};

    // False when the host reported no layer size (then the frame is not known from in_data).
    bool known() const { return fullWidth > 0 && fullHeight > 0; }
    // The frame's size in full-resolution square pixels.
    double squareWidth() const { return fullWidth * pixelAspect; }
    double squareHeight() const { return fullHeight; }
    // Square pixels per buffer pixel on each axis.
    double toSquareX() const { return pixelAspect / downsampleX; }
    double toSquareY() const { return 1.0 / downsampleY; }
};

// A factor num / den; 1 when either part is not positive (hosts may leave them zero).
double rationalFactor(const PF_RationalScale& scale);

// `size` full-resolution pixels in buffer pixels: ceil(size * num / den), in whole numbers, as the
// host sizes a downsampled world; `size` itself for a factor that rationalFactor takes as 1.
int32_t downsampledSize(int32_t size, const PF_RationalScale& scale);

// The geometry that in_data reports. Without a layer size the frame is empty and known() false.
LayerGeometry layerGeometry(const PF_InData* in_data);

// The same for a layer whose rect in buffer pixels is `frame` (a world that is the whole layer):
// its full-resolution size follows from the factors.
LayerGeometry layerGeometryOfFrame(const PF_InData* in_data, const PF_LRect& frame);

// Whether the world is there and has at least one pixel.
bool hasPixels(const PF_LayerDef* world);

// The full-resolution pixels a buffer pixel covers on one axis, whole: 1 at full resolution or
// for a factor that rationalFactor takes as 1, at most `largest`.
int32_t fullPixelsPerPixel(const PF_RationalScale& scale, int32_t largest);

bool isEmptyRect(const PF_LRect& rect);
// The smallest rect holding both (an empty one adds nothing).
PF_LRect unitedRect(const PF_LRect& a, const PF_LRect& b);
// What both hold; {0, 0, 0, 0} when nothing.
PF_LRect intersectedRect(const PF_LRect& a, const PF_LRect& b);

} // namespace Tessarine::Lamino
