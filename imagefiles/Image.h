#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Tessarine::Lamino {

// How many bits each sample of an image has; the values are the bit counts.
enum class ImageDepth : int32_t {
    Bits8 = 8,     // 0..255
    Bits16 = 16,   // 0..65535
    Float32 = 32   // 1.0 is full; values beyond 0..1 are kept
};

// An image in memory: straight (not premultiplied) alpha, rows top to bottom without padding,
// samples red, green, blue, alpha. The samples are in the vector of its depth (rgba for 8 bits,
// rgba16, rgbaFloat); the other two stay empty, so that 8-bit code keeps using rgba and pixel().
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    ImageDepth depth = ImageDepth::Bits8;
    std::vector<uint8_t> rgba;
    std::vector<uint16_t> rgba16;
    std::vector<float> rgbaFloat;

    Image() = default;
    Image(int32_t width, int32_t height, ImageDepth depth = ImageDepth::Bits8);

    uint8_t* pixel(int32_t x, int32_t y) { return &rgba[offset(x, y)]; }
    const uint8_t* pixel(int32_t x, int32_t y) const { return &rgba[offset(x, y)]; }
    uint16_t* pixel16(int32_t x, int32_t y) { return &rgba16[offset(x, y)]; }
    const uint16_t* pixel16(int32_t x, int32_t y) const { return &rgba16[offset(x, y)]; }
    float* pixelFloat(int32_t x, int32_t y) { return &rgbaFloat[offset(x, y)]; }
    const float* pixelFloat(int32_t x, int32_t y) const { return &rgbaFloat[offset(x, y)]; }

    // width x height x 4.
    size_t sampleCount() const { return size_t(width) * size_t(height) * 4; }
    // Whether it has a size and the vector of its depth holds exactly its samples.
    bool holdsPixels() const;

    // The same image at another depth: integers scale to the nearest level (8 to 16 bits is
    // exact, x 257), floats are clipped to 0..1 on the way to integers; a copy at the same depth.
    Image converted(ImageDepth to) const;

private:
    size_t offset(int32_t x, int32_t y) const
    {
        return (size_t(y) * size_t(width) + size_t(x)) * 4;
    }
};

// Divides a float image's colour by its alpha, where alpha is not 0: files that store colour
// premultiplied (OpenEXR, associated-alpha TIFF) read back as the straight colour images hold.
void unpremultiplyFloat(Image& image);

}  // namespace Tessarine::Lamino
