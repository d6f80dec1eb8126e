#include "pipeline/LayerUpload.h"

#include <cstdint>
#include <vector>

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include "gl/AEOpenGLContext.h"
#include "gl/ContextRegistry.h"
#include "gl/GpuFailure.h"
#include "pipeline/LayerTexture.h"
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

    void TearDown() override
    {
        texture.release();
        GlContextTest::TearDown();
    }

    // Uploads into the test's texture and reads its texels back as floats.
    std::vector<float> upload(uint32_t format, PF_EffectWorld& world)
    {
        const GLuint name = uploadLayer(layerFormat(format), &world, host.inData(), texture);
        EXPECT_EQ(name, texture.name());
        std::vector<float> texels(static_cast<size_t>(world.width) * world.height * 4);
        glBindTexture(GL_TEXTURE_2D, name);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internalFormat);
        glBindTexture(GL_TEXTURE_2D, 0);
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
    LayerTexture texture;
    GLint internalFormat = 0;
};

TEST_F(LayerUploadTest, ArgbPixelsArriveUnreorderedInAnEightBitTextureWithTopRowFirst)
{
    // Row 0: (A255 R0 G128 B255); row 1: (A0 R255 G51 B0).
    uint8_t pixels[] = {255, 0, 128, 255, 0, 255, 51, 0};
    PF_EffectWorld world = worldOver(pixels, 1, 2, 4);

    const std::vector<float> texels = upload(kPixelFormatArgb, world);

    const std::vector<float> expected{1.0f, 0.0f, 128 / 255.0f, 1.0f, 0.0f, 1.0f, 0.2f, 0.0f};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_FLOAT_EQ(texels[i], expected[i]) << "channel " << i;
    }
    EXPECT_EQ(internalFormat, static_cast<GLint>(GL_RGBA8));
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

TEST_F(LayerUploadTest, Ae16RowsArriveAsSixteenBitFractionsThatTheInputScaleBringsToFullScale)
{
    // Two pixels a row, rows padded by one pixel.
    uint16_t pixels[] = {32768, 0, 16384, 32768, 1, 2, 3, 4, 9, 9, 9, 9,
                         8192, 32768, 0, 0, 5, 6, 7, 8, 9, 9, 9, 9};
    PF_EffectWorld world = worldOver(pixels, 2, 2, 24);

    const std::vector<float> texels = upload(kPixelFormatAe16, world);

    const float scale = layerFormat(kPixelFormatAe16).inputScale;
    EXPECT_FLOAT_EQ(texels[0] * scale, 1.0f);
    EXPECT_FLOAT_EQ(texels[2] * scale, 0.5f);
    EXPECT_FLOAT_EQ(texels[7] * scale, 4 / 32768.0f);
    EXPECT_FLOAT_EQ(texels[8] * scale, 0.25f);
    EXPECT_FLOAT_EQ(texels[9] * scale, 1.0f);
    EXPECT_EQ(internalFormat, static_cast<GLint>(GL_RGBA16));
    expectCleanState();
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
    EXPECT_EQ(internalFormat, static_cast<GLint>(GL_RGBA32F));
    EXPECT_EQ(host.suitesHeld, 0);
    expectCleanState();
}

TEST_F(LayerUploadTest, FormatsGiveTheirTransferAndScales)
{
    const LayerFormat argb = layerFormat(kPixelFormatArgb);
    EXPECT_EQ(argb.pixelBytes, 4u);
    EXPECT_EQ(argb.glType, GL_UNSIGNED_BYTE);
    EXPECT_EQ(argb.inputScale * argb.outputScale, 1.0f);
    const LayerFormat deep = layerFormat(kPixelFormatAe16);
    EXPECT_EQ(deep.pixelBytes, 8u);
    EXPECT_EQ(deep.glType, GL_UNSIGNED_SHORT);
    EXPECT_EQ(deep.inputScale, 65535.0f / 32768.0f);
    EXPECT_EQ(deep.outputScale, 32768.0f / 65535.0f);
    const LayerFormat floats = layerFormat(kPixelFormatAe32);
    EXPECT_EQ(floats.pixelBytes, 16u);
    EXPECT_EQ(floats.glType, GL_FLOAT);
    EXPECT_EQ(floats.alphaFloor, 0.0f);
    EXPECT_EQ(thrownCode([] { layerFormat(0x61626364); }), PF_Err_BAD_CALLBACK_PARAM);
}

TEST_F(LayerUploadTest, SteadySizeReusesTheTextureAndAllocatesNothing)
{
    uint8_t pixels[2 * 2 * 4] = {};
    PF_EffectWorld world = worldOver(pixels, 2, 2, 8);
    upload(kPixelFormatArgb, world);
    const GLuint first = texture.name();
    GlCallLog log;
    upload(kPixelFormatArgb, world);
    EXPECT_EQ(texture.name(), first);
    EXPECT_EQ(log.count("glGenTextures"), 0u);
    EXPECT_EQ(log.count("glTexImage2D"), 0u);
    EXPECT_EQ(log.count("glTexSubImage2D"), 1u);

    PF_EffectWorld smaller = worldOver(pixels, 1, 2, 8);
    upload(kPixelFormatArgb, smaller);
    EXPECT_EQ(log.count("glTexImage2D"), 1u) << "a new size gets new storage";
    EXPECT_EQ(log.count("glGenTextures"), log.count("glDeleteTextures"));
}

// Every failure is an int host code and leaves GL as a success would; the texture stays the
// one the holder owns.
TEST_F(LayerUploadTest, FailuresThrowHostCodesAndMakeNoSecondTexture)
{
    uint8_t pixels[16] = {};
    struct Case {
        const char* what;
        uint32_t format;
        PF_EffectWorld world;
        bool withoutPixelAddress;
    };
    const Case cases[] = {
        {"no pixel address", kPixelFormatArgb, worldOver(pixels, 2, 2, 8), true},
        {"rows shorter than the width", kPixelFormatArgb, worldOver(pixels, 2, 2, 4), false},
        {"rowbytes not whole pixels", kPixelFormatArgb, worldOver(pixels, 1, 2, 6), false},
        {"negative height", kPixelFormatArgb, worldOver(pixels, 2, -1, 8), false},
        {"16-bit rows shorter than the width", kPixelFormatAe16, worldOver(pixels, 2, 1, 8),
         false},
    };
    GlCallLog log;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PF_EffectWorld world = c.world;
        host.withoutPixelAddress = c.withoutPixelAddress;
        EXPECT_EQ(thrownCode([&] {
                      uploadLayer(layerFormat(c.format), &world, host.inData(), texture);
                  }),
                  PF_Err_BAD_CALLBACK_PARAM);
        expectCleanState();
    }
    EXPECT_LE(log.count("glGenTextures"), log.count("glDeleteTextures") + 1);
    EXPECT_EQ(thrownCode([&] {
                  uploadLayer(layerFormat(kPixelFormatArgb), nullptr, host.inData(), texture);
              }),
              PF_Err_BAD_CALLBACK_PARAM);
}

TEST_F(LayerUploadTest, LayerWithoutPixelsGivesNoTextureAndOneBeyondTheDriverIsRefused)
{
    uint8_t pixels[4] = {};
    PF_EffectWorld empty = worldOver(pixels, 0, 0, 4);
    GlCallLog log;
    EXPECT_EQ(uploadLayer(layerFormat(kPixelFormatArgb), &empty, host.inData(), texture), 0u);
    EXPECT_EQ(log.count("glGenTextures"), 0u);

    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    PF_EffectWorld wide = worldOver(pixels, largest + 1, 1, (largest + 1) * 4);
    try {
        uploadLayer(layerFormat(kPixelFormatArgb), &wide, host.inData(), texture);
        ADD_FAILURE() << "a layer beyond the driver's largest texture was uploaded";
    } catch (const GpuFailure& failure) {
        EXPECT_EQ(failure.kind, GpuFailure::Kind::TooLarge);
        EXPECT_EQ(failure.limit, largest);
    }
    EXPECT_EQ(log.count("glGenTextures"), 0u);
}

TEST_F(LayerUploadTest, FloatIterationFailuresReleaseTheSuite)
{
    PF_PixelFloat pixels[1] = {};
    PF_EffectWorld world = worldOver(pixels, 1, 1, sizeof(PF_PixelFloat));

    auto upload = [&] {
        uploadLayer(layerFormat(kPixelFormatAe32), &world, host.inData(), texture);
    };

    host.withoutFloatSuite = true;
    EXPECT_EQ(thrownCode(upload), A_Err_MISSING_SUITE);
    host.withoutFloatSuite = false;
    host.iterationError = PF_Err_OUT_OF_MEMORY;
    EXPECT_EQ(thrownCode(upload), PF_Err_OUT_OF_MEMORY);

    EXPECT_EQ(host.suitesHeld, 0);
    expectCleanState();
}

} // namespace
} // namespace Tessarine::Lamino
