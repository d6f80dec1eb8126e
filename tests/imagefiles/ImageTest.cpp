#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "imagefiles/Image.h"

using namespace Tessarine::Lamino;

namespace {

Image floatPixel(float red, float green, float blue, float alpha)
{
    Image image(1, 1, ImageDepth::Float32);
    image.rgbaFloat = {red, green, blue, alpha};
    return image;
}

}  // namespace

TEST(Image, EightBitLevelsSurviveEveryDeeperDepthExactly)
{
    Image eight(256, 1);
    for (int v = 0; v < 256; ++v) {
        eight.rgba[size_t(v) * 4] = uint8_t(v);
        eight.rgba[size_t(v) * 4 + 3] = uint8_t(255 - v);
    }
    Image sixteen = eight.converted(ImageDepth::Bits16);
    EXPECT_EQ(sixteen.depth, ImageDepth::Bits16);
    EXPECT_TRUE(sixteen.rgba.empty());
    EXPECT_EQ(sixteen.pixel16(255, 0)[0], 65535);
    EXPECT_EQ(sixteen.pixel16(1, 0)[0], 257);
    EXPECT_EQ(sixteen.converted(ImageDepth::Bits8).rgba, eight.rgba);
    Image floats = eight.converted(ImageDepth::Float32);
    EXPECT_EQ(floats.pixelFloat(255, 0)[0], 1.0f);
    EXPECT_EQ(floats.pixelFloat(0, 0)[3], 1.0f);
    EXPECT_EQ(floats.converted(ImageDepth::Bits8).rgba, eight.rgba);
    EXPECT_EQ(floats.converted(ImageDepth::Bits16).rgba16, sixteen.rgba16);
}

TEST(Image, SixteenBitsGoToTheNearestEightBitLevel)
{
    Image sixteen(4, 1, ImageDepth::Bits16);
    // 128.5 levels lies between 128 and 129; 32896 is 128 exactly, 32896 + 128 just below the
    // half-way point and 32896 + 129 just above it.
    sixteen.rgba16 = {32896, 32896 + 128, 32896 + 129, 65535, 0, 1, 128, 129,
                      65535, 65534, 65406, 65408, 0, 0, 0, 0};
    Image eight = sixteen.converted(ImageDepth::Bits8);
    EXPECT_EQ(eight.rgba, (std::vector<uint8_t>{128, 128, 129, 255, 0, 0, 0, 1, 255, 255, 254, 255,
                                                0, 0, 0, 0}));
}

TEST(Image, FloatsAreClippedOnTheWayToIntegers)
{
    float nan = std::numeric_limits<float>::quiet_NaN();
    Image floats = floatPixel(4.0f, -0.5f, nan, 0.5f);
    EXPECT_EQ(floats.converted(ImageDepth::Bits8).rgba, (std::vector<uint8_t>{255, 0, 0, 128}));
    EXPECT_EQ(floats.converted(ImageDepth::Bits16).rgba16,
              (std::vector<uint16_t>{65535, 0, 0, 32768}));
    EXPECT_EQ(floats.converted(ImageDepth::Float32).rgbaFloat[0], 4.0f);
}

TEST(Image, HoldsPixelsOnlyWithTheSamplesOfItsDepth)
{
    EXPECT_TRUE(Image(2, 3, ImageDepth::Bits16).holdsPixels());
    EXPECT_FALSE(Image().holdsPixels());
    Image wrong(2, 2, ImageDepth::Float32);
    wrong.rgba.resize(16);
    wrong.rgbaFloat.clear();
    EXPECT_FALSE(wrong.holdsPixels());
}
