#include <gtest/gtest.h>

#include "tool/DefaultImage.h"

using namespace Tessarine::Lamino;

TEST(DefaultImage, HasOpaqueTransparentAndTranslucentPixels)
{
    Image image = DefaultImage::make();
    ASSERT_EQ(image.width, 960);
    ASSERT_EQ(image.height, 540);
    size_t opaque = 0, clear = 0, partial = 0;
    for (size_t i = 3; i < image.rgba.size(); i += 4) {
        uint8_t alpha = image.rgba[i];
        (alpha == 255 ? opaque : alpha == 0 ? clear : partial)++;
    }
    EXPECT_GT(opaque, image.rgba.size() / 8);
    EXPECT_GT(clear, 1000u);
    EXPECT_GT(partial, 1000u);
    EXPECT_EQ(DefaultImage::make().rgba, image.rgba);  // the same every time
    EXPECT_EQ(DefaultImage::make(1920, 1080).width, 1920);
}
