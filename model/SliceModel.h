#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace Tessarine::Lamino {

// An independent CPU model of the sliced frame, used to check what the GPU renders. It follows
// the effect's definition step by step in single precision: the hash in IEEE float with a
// correctly rounded sine (as the plug-in works out its band table), the geometry from the angle
// reduced to one turn in double precision, bilinear sampling with clamp-to-edge in the layers'
// pixels with colour weighted by alpha, the custom layer laid over the input by "over" on
// alpha-weighted colour, and straight colour stored once in 8 bits. Hash-dependent values
// (shifts, layer choices) can also be given from outside.

struct ArgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> argb; // alpha, red, green, blue per pixel; rows packed, top row first

    ArgbImage() = default;
    ArgbImage(int width, int height) : width(width), height(height), argb(size_t(width) * height * 4) {}
    uint8_t* at(int x, int y) { return &argb[(size_t(y) * width + x) * 4]; }
    const uint8_t* at(int x, int y) const { return &argb[(size_t(y) * width + x) * 4]; }
};

struct ModelControls {
    int count = 30;
    double angle = 0.0;
    double offsetRandom = 0.0; // fraction: the control's percentage / 100
    int offsetRandomSeed = 0;
    bool bothDirection = true;
    double sizeRandom = 0.0; // fraction
    int sizeRandomSeed = 0;
    double layerAlpha = 1.0; // fraction
    int layerRandomSeed = 0;
    int edgeType = 0; // 0 Normal, 1 Repeat, 2 Mirror, 3 Clamp
    double edgeSoftness = 0.0; // pixels
    double evolution = 0.0;    // degrees
    double bandPhase = 0.0;    // band widths
};

class SliceModel {
public:
    SliceModel(const ModelControls& controls, int width, int height);
    // The default hash functions capture the model itself; a copy would point at the original.
    SliceModel(const SliceModel&) = delete;
    SliceModel& operator=(const SliceModel&) = delete;

    // Band index of the pixel centre (x + 0.5, y + 0.5), y counted from the top row; negative
    // for the bands a positive band phase brings in before band 0.
    int bandOf(int x, int y) const;
    // Where band `band` starts and ends, and where a pixel centre lies, in the band pattern:
    // distances across the bands from the reference line less the band phase's shift.
    float bandStart(int band) const;
    float bandEnd(int band) const;
    float patternDistance(int x, int y) const;
    // Shift of a band along the bands, in pixels, and whether it shows the custom layer, from the
    // model's own hash; replaceable for hash-dependent comparisons.
    float hashShift(int band) const;
    bool hashChoosesCustom(int band) const;

    std::function<float(int band)> shiftOf;
    std::function<bool(int band)> choosesCustom;

    // The frame the effect produces, in the host's 8-bit layout.
    ArgbImage render(const ArgbImage& input, const ArgbImage* custom) const;
    // Every pixel as band `band` alone shows it, with hard edges.
    ArgbImage renderBand(int band, const ArgbImage& input, const ArgbImage* custom) const;

    // Direction along the bands, (sin a, cos a), and the frame's extent across them.
    float alongX() const { return onX; }
    float alongY() const { return onY; }
    float extent() const { return maxDist; }

private:
    struct Rgba { float r, g, b, a; };
    template <typename Pixel> ArgbImage renderWith(const ArgbImage& input, Pixel pixelAt) const;
    Rgba pixel(int x, int y, const ArgbImage& input, const ArgbImage* custom) const;
    Rgba bandPixel(int band, float cx, float cy, const ArgbImage& input,
                   const ArgbImage* custom) const;
    float random(int band, float row) const;
    int bandAtPattern(float u) const;
    Rgba sample(const ArgbImage& image, float u, float v) const;

    ModelControls controls;
    float width, height;
    float onX, onY;         // along the bands
    float acrossX, acrossY; // across them
    float startX, startY;
    float maxDist;
    double turns;            // evolution, in whole turns
    float phaseShift;        // band phase in pixels
    int firstBand = 0;       // index of bands[0]
    std::vector<float> starts, ends; // in the pattern's distances, from band firstBand on
};

// Largest difference of any channel between two images of one size.
int maxChannelDifference(const ArgbImage& a, const ArgbImage& b);
// Number of pixels with a channel differing by more than the tolerance.
size_t differingPixels(const ArgbImage& a, const ArgbImage& b, int tolerance);

}  // namespace Tessarine::Lamino
