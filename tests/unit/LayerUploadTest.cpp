#include "pipeline/LayerUpload.h"

#include <cstdint>
#include <vector>

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include "gl/AEOpenGLContext.h"
#include "gl/ContextRegistry.h"
#include "pipeline/PixelFormat.h"
#include "support/GlCallLog.h"
#include "support/GlContextTest.h"
#include "unit/PipelineFakeHost.h"

using namespace gl;

namespace Tessarine::Lamino {
namespace {

using Testing::FakeHost;
using Testing::thrownCode;
using Testing::worldOver;

class LayerUploadTest : public GlContextTest {
protected:
    void SetUp() override
    {
        GlContextTest::SetUp();
        ContextRegistry::contextForCurrentThread()->makeCurrent();
    }

    // Uploads with the render's starting values; the texture is read back and deleted.
    std::vector<float> upload(uint32_t format, PF_EffectWorld& world)
    {
        GLuint texture = uploadLayer(format, &world, host.inData(), pixelBytes, glType, multiplier);
        std::vector<float> texels(static_cast<size_t>(world.width) * world.height * 4);
        glBindTexture(GL_TEXTURE_2D, texture);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        glDeleteTextures(1, &texture);
        return texels;
    }

    // The upload's promise after success and failure alike.
    static void expectCleanState()
    {
        GLint bound = -1;
        GLint rowLength = -1;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength);
        EXPECT_EQ(bound, 0);
        EXPECT_EQ(rowLength, 0);
    }

    FakeHost host;
    size_t pixelBytes = 4;
    GLenum glType = GL_UNSIGNED_BYTE;
    float multiplier = 1.0f;
};

TEST_F(LayerUploadTest, ArgbPixelsArriveUnreorderedAsFractionsWithTopRowFirst)
{
    // Row 0: (A255 R0 G128 B255); row 1: (A0 R255 G51 B0).
    uint8_t pixels[] = {255, 0, 128, 255, 0, 255, 51, 0};
    PF_EffectWorld world = worldOver(pixels, 1, 2, 4);

    const std::vector<float> texels = upload(kPixelFormatArgb, world);

    const std::vector<float> expected{1.0f, 0.0f, 128 / 255.0f, 1.0f, 0.0f, 1.0f, 0.2f, 0.0f};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_FLOAT_EQ(texels[i], expected[i]) << "channel " << i;
    }
    EXPECT_EQ(pixelBytes, 4u);
    EXPECT_EQ(glType, GL_UNSIGNED_BYTE);
    EXPECT_EQ(multiplier, 1.0f);
    expectCleanState();
}

TEST_F(LayerUploadTest, ArgbRowsWithPaddingGiveTheSameTexelsAsPackedRows)
{
    uint8_t packed[2 * 2 * 4];
    uint8_t padded[2 * 12];
    for (int y = 0; y < 2; ++y) {
        for (int i = 0; i < 8; ++i) {
            packed[y * 8 + i] = static_cast<uint8_t>(10 * y + i);
            padded[y * 12 + i] = static_cast<uint8_t>(10 * y + i);
        }
        for (int i = 8; i < 12; ++i) {
            padded[y * 12 + i] = 0xEE;
        }
    }
    PF_EffectWorld packedWorld = worldOver(packed, 2, 2, 8);
    PF_EffectWorld paddedWorld = worldOver(padded, 2, 2, 12);

    EXPECT_EQ(upload(kPixelFormatArgb, paddedWorld), upload(kPixelFormatArgb, packedWorld));
}

TEST_F(LayerUploadTest, Ae16FullScaleBecomesOneAndTheMultiplierMapsItBackForTheReadback)
{
    // Two pixels a row, rows padded by one pixel.
    uint16_t pixels[] = {32768, 0, 16384, 32768, 1, 2, 3, 4, 9, 9, 9, 9,
                         8192, 32768, 0, 0, 5, 6, 7, 8, 9, 9, 9, 9};
    PF_EffectWorld world = worldOver(pixels, 2, 2, 24);

    const std::vector<float> texels = upload(kPixelFormatAe16, world);

    EXPECT_FLOAT_EQ(texels[0], 1.0f);
    EXPECT_FLOAT_EQ(texels[2], 0.5f);
    EXPECT_FLOAT_EQ(texels[7], 4 / 32768.0f);
    EXPECT_FLOAT_EQ(texels[8], 0.25f);
    EXPECT_FLOAT_EQ(texels[9], 1.0f);
    EXPECT_EQ(pixelBytes, 8u);
    EXPECT_EQ(glType, GL_UNSIGNED_SHORT);
    EXPECT_EQ(multiplier, 65535.0f / 32768.0f);
}

TEST_F(LayerUploadTest, Ae32ValuesOutsideZeroToOneArriveUnchangedThroughTheIteration)
{
    // Two pixels a row, rows padded by one pixel: the iteration, not the rows, gives the values.
    PF_PixelFloat pixels[2 * 3] = {{1.5f, -0.25f, 0.5f, 2.0f}, {0.0f, 1.0f, 3.0f, -1.0f}, {},
                                   {0.125f, 0.0f, 0.0f, 7.0f}, {1.0f, 1.0f, 1.0f, 1.0f},  {}};
    PF_EffectWorld world = worldOver(pixels, 2, 2, 3 * sizeof(PF_PixelFloat));

    const std::vector<float> texels = upload(kPixelFormatAe32, world);

    const std::vector<float> expected{1.5f,   -0.25f, 0.5f, 2.0f, 0.0f, 1.0f, 3.0f, -1.0f,
                                      0.125f, 0.0f,   0.0f, 7.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    EXPECT_EQ(texels, expected);
    EXPECT_EQ(pixelBytes, 16u);
    EXPECT_EQ(glType, GL_FLOAT);
    EXPECT_EQ(host.suitesHeld, 0);
    expectCleanState();
}

// Every failure is an int host code, leaves no texture behind and GL as a success would.
TEST_F(LayerUploadTest, FailuresThrowHostCodesAndLeaveNoTexture)
{
    uint8_t pixels[16] = {};
    struct Case {
        const char* what;
        uint32_t format;
        PF_EffectWorld world;
        bool withoutPixelAddress;
        int expected;
    };
    const Case cases[] = {
        {"unknown format", 0x61626364, worldOver(pixels, 2, 2, 8), false,
         PF_Err_BAD_CALLBACK_PARAM},
        {"no pixel address", kPixelFormatArgb, worldOver(pixels, 2, 2, 8), true,
         PF_Err_BAD_CALLBACK_PARAM},
        {"rows shorter than the width", kPixelFormatArgb, worldOver(pixels, 2, 2, 4), false,
         PF_Err_BAD_CALLBACK_PARAM},
        {"rowbytes not whole pixels", kPixelFormatArgb, worldOver(pixels, 1, 2, 6), false,
         PF_Err_BAD_CALLBACK_PARAM},
        {"negative height", kPixelFormatArgb, worldOver(pixels, 2, -1, 8), false,
         PF_Err_BAD_CALLBACK_PARAM},
        {"16-bit rows shorter than the width", kPixelFormatAe16, worldOver(pixels, 2, 1, 8), false,
         PF_Err_BAD_CALLBACK_PARAM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PF_EffectWorld world = c.world;
        host.withoutPixelAddress = c.withoutPixelAddress;
        pixelBytes = 4;
        glType = GL_UNSIGNED_BYTE;
        multiplier = 5.0f;
        GlCallLog log;
        EXPECT_EQ(thrownCode([&] {
                      uploadLayer(c.format, &world, host.inData(), pixelBytes, glType, multiplier);
                  }),
                  c.expected);
        EXPECT_EQ(log.count("glGenTextures"), log.count("glDeleteTextures"));
        expectCleanState();
    }
    EXPECT_EQ(thrownCode([&] {
                  uploadLayer(kPixelFormatArgb, nullptr, host.inData(), pixelBytes, glType,
                              multiplier);
              }),
              PF_Err_BAD_CALLBACK_PARAM);
}

TEST_F(LayerUploadTest, UnknownFormatSetsOnlyTheMultiplier)
{
    uint8_t pixels[4] = {};
    PF_EffectWorld world = worldOver(pixels, 1, 1, 4);
    pixelBytes = 4;
    glType = GL_UNSIGNED_BYTE;
    multiplier = 5.0f;

    EXPECT_EQ(thrownCode([&] {
                  uploadLayer(kPixelFormatArgb + 1, &world, host.inData(), pixelBytes, glType,
                              multiplier);
              }),
              PF_Err_BAD_CALLBACK_PARAM);

    EXPECT_EQ(multiplier, 1.0f);
    EXPECT_EQ(pixelBytes, 4u);
    EXPECT_EQ(glType, GL_UNSIGNED_BYTE);
}

TEST_F(LayerUploadTest, FloatIterationFailuresReleaseTheSuiteAndTheTexture)
{
    PF_PixelFloat pixels[1] = {};
    PF_EffectWorld world = worldOver(pixels, 1, 1, sizeof(PF_PixelFloat));
    GlCallLog log;

    auto upload = [&] {
        uploadLayer(kPixelFormatAe32, &world, host.inData(), pixelBytes, glType, multiplier);
    };

    host.withoutFloatSuite = true;
    EXPECT_EQ(thrownCode(upload), A_Err_MISSING_SUITE);
    host.withoutFloatSuite = false;
    host.iterationError = PF_Err_OUT_OF_MEMORY;
    EXPECT_EQ(thrownCode(upload), PF_Err_OUT_OF_MEMORY);

    EXPECT_EQ(host.suitesHeld, 0);
    EXPECT_EQ(log.count("glGenTextures"), 2u);
    EXPECT_EQ(log.count("glDeleteTextures"), 2u);
}

} // namespace
} // namespace Tessarine::Lamino
