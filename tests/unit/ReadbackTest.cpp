#include "pipeline/Readback.h"

#include <cstdint>
#include <vector>

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include "gl/AEOpenGLContext.h"
#include "gl/ContextRegistry.h"
#include "pipeline/PixelFormat.h"
#include "support/GlContextTest.h"
#include "unit/PipelineFakeHost.h"

using namespace gl;

namespace Tessarine::Lamino {
namespace {

using Testing::FakeHost;
using Testing::thrownCode;
using Testing::worldOver;

constexpr uint8_t kUntouched = 0xEE;

// A framebuffer bound for reading whose colour attachment holds the given texels, GL row 0 first.
class ReadSource {
public:
    ReadSource(int32_t width, int32_t height, GLenum internalFormat, GLenum type,
               const void* texels)
    {
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internalFormat), width, height, 0,
                     GL_RGBA, type, texels);
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    }

    ~ReadSource()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteTextures(1, &texture);
    }

private:
    GLuint texture = 0;
    GLuint framebuffer = 0;
};

class ReadbackTest : public GlContextTest {
protected:
    void SetUp() override
    {
        GlContextTest::SetUp();
        ContextRegistry::contextForCurrentThread()->makeCurrent();
    }

    void TearDown() override
    {
        EXPECT_EQ(host.handlesLive, 0) << "a handle was not disposed of";
        EXPECT_EQ(host.handlesLocked, 0) << "a handle was left locked";
        EXPECT_EQ(host.suitesHeld, 0) << "a suite was not released";
    }

    // 2 x 2 frame, GL row 0 = (1 2 3 4)(5 6 7 8), row 1 = (9 ...)(13 ...).
    std::vector<uint8_t> frame8 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    PF_EffectWorld source{}; // the input layer; the 8- and 16-bit paths do not read it
    FakeHost host;
};

TEST_F(ReadbackTest, ArgbRowsLandInTheSameHostRowsAndPaddingStaysUntouched)
{
    ReadSource frame(2, 2, GL_RGBA8, GL_UNSIGNED_BYTE, frame8.data());
    std::vector<uint8_t> output(2 * 12, kUntouched);
    PF_EffectWorld world = worldOver(output.data(), 2, 2, 12);

    readBackOutput({2, 2}, &world, host.inData(), layerFormat(kPixelFormatArgb));

    const std::vector<uint8_t> expected = {1, 2,  3,  4,  5,  6,  7,  8,  0xEE, 0xEE, 0xEE, 0xEE,
                                           9, 10, 11, 12, 13, 14, 15, 16, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(output, expected);
    EXPECT_EQ(host.handlesMade, 0) << "8-bit frames go straight into the host's rows";
    GLint packRowLength = -1;
    glGetIntegerv(GL_PACK_ROW_LENGTH, &packRowLength);
    EXPECT_EQ(packRowLength, 0);
}

TEST_F(ReadbackTest, OutputWorldOfAnotherSizeGetsOnlyWhatBothHold)
{
    ReadSource frame(2, 2, GL_RGBA8, GL_UNSIGNED_BYTE, frame8.data());

    // Larger: 3 x 3, packed; the third column and row stay as they were.
    std::vector<uint8_t> larger(3 * 3 * 4, kUntouched);
    PF_EffectWorld largerWorld = worldOver(larger.data(), 3, 3, 12);
    readBackOutput({2, 2}, &largerWorld, host.inData(), layerFormat(kPixelFormatArgb));
    std::vector<uint8_t> expected(3 * 3 * 4, kUntouched);
    const uint8_t rows[2][8] = {{1, 2, 3, 4, 5, 6, 7, 8}, {9, 10, 11, 12, 13, 14, 15, 16}};
    for (int y = 0; y < 2; ++y) {
        std::copy(rows[y], rows[y] + 8, expected.begin() + y * 12);
    }
    EXPECT_EQ(larger, expected);

    // Smaller: 1 x 1 gets the frame's first pixel.
    std::vector<uint8_t> smaller(4 + 4, kUntouched);
    PF_EffectWorld smallerWorld = worldOver(smaller.data(), 1, 1, 4);
    readBackOutput({2, 2}, &smallerWorld, host.inData(), layerFormat(kPixelFormatArgb));
    EXPECT_EQ(smaller,
              (std::vector<uint8_t>{1, 2, 3, 4, kUntouched, kUntouched, kUntouched, kUntouched}));
}

TEST_F(ReadbackTest, Ae16ReadsShortsIntoTheHostsRows)
{
    const uint16_t texels[4] = {32768, 0, 65535, 1};
    ReadSource frame(1, 1, GL_RGBA16, GL_UNSIGNED_SHORT, texels);
    std::vector<uint16_t> output(4 + 4, 0xEEEE);
    PF_EffectWorld world = worldOver(output.data(), 1, 1, 16);

    readBackOutput({1, 1}, &world, host.inData(), layerFormat(kPixelFormatAe16));

    EXPECT_EQ(output, (std::vector<uint16_t>{32768, 0, 65535, 1, 0xEEEE, 0xEEEE, 0xEEEE, 0xEEEE}));
}

TEST_F(ReadbackTest, Ae32GoesThroughTheIterationAndLeavesPixelsBeyondTheFrame)
{
    const float texels[2 * 4] = {0.5f, 1.5f, -1.0f, 0.25f, 1.0f, 0.0f, 0.125f, 2.0f};
    ReadSource frame(2, 1, GL_RGBA32F, GL_FLOAT, texels);
    PF_PixelFloat inputPixels[2] = {};
    source = worldOver(inputPixels, 2, 1, sizeof(inputPixels));
    const PF_PixelFloat untouched{9.0f, 9.0f, 9.0f, 9.0f};
    std::vector<PF_PixelFloat> output(3 * 2, untouched);
    PF_EffectWorld world = worldOver(output.data(), 3, 2, 3 * sizeof(PF_PixelFloat));

    readBackOutput({2, 1}, &world, host.inData(), layerFormat(kPixelFormatAe32));
    EXPECT_EQ(host.handlesMade, 1);

    const float* values = &output[0].alpha;
    EXPECT_EQ(std::vector<float>(values, values + 8), std::vector<float>(texels, texels + 8));
    for (size_t i : {2, 3, 4, 5}) {
        EXPECT_EQ(output[i].alpha, 9.0f) << "pixel " << i;
        EXPECT_EQ(output[i].blue, 9.0f) << "pixel " << i;
    }
}

// Every failure is an int host code; the output stays unwritten and the handle and suites go
// back to the host (checked in TearDown).
TEST_F(ReadbackTest, FailuresThrowHostCodesAndGiveEverythingBack)
{
    ReadSource frame(2, 2, GL_RGBA8, GL_UNSIGNED_BYTE, frame8.data());
    std::vector<uint8_t> output(2 * 2 * 4, kUntouched);
    PF_EffectWorld world = worldOver(output.data(), 2, 2, 8);
    auto readBack = [&] {
        readBackOutput({2, 2}, &world, host.inData(), layerFormat(kPixelFormatArgb));
    };

    host.withoutPixelAddress = true;
    EXPECT_EQ(thrownCode(readBack), PF_Err_BAD_CALLBACK_PARAM);
    host.withoutPixelAddress = false;

    world.rowbytes = 6; // shorter than two pixels
    EXPECT_EQ(thrownCode(readBack), PF_Err_BAD_CALLBACK_PARAM);
    world.rowbytes = 10; // not a whole number of pixels
    EXPECT_EQ(thrownCode(readBack), PF_Err_BAD_CALLBACK_PARAM);
    world.rowbytes = 8;

    EXPECT_EQ(thrownCode([&] {
                  readBackOutput({2, 2}, nullptr, host.inData(),
                                 layerFormat(kPixelFormatArgb));
              }),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(output, std::vector<uint8_t>(2 * 2 * 4, kUntouched));
}

TEST_F(ReadbackTest, FloatFramesWithoutAHandleFailAndWriteNothing)
{
    const float texels[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    ReadSource frame(1, 1, GL_RGBA32F, GL_FLOAT, texels);
    PF_PixelFloat input[1] = {};
    PF_PixelFloat output[1] = {{9.0f, 9.0f, 9.0f, 9.0f}};
    source = worldOver(input, 1, 1, sizeof(input));
    PF_EffectWorld world = worldOver(output, 1, 1, sizeof(output));
    auto readBack = [&] {
        readBackOutput({1, 1}, &world, host.inData(), layerFormat(kPixelFormatAe32));
    };

    host.failAllocation = true;
    EXPECT_EQ(thrownCode(readBack), PF_Err_OUT_OF_MEMORY);
    host.failAllocation = false;
    host.withoutHandleSuite = true;
    EXPECT_EQ(thrownCode(readBack), A_Err_MISSING_SUITE);
    host.withoutHandleSuite = false;
    EXPECT_EQ(output[0].alpha, 9.0f);
}

TEST_F(ReadbackTest, FloatIterationErrorIsThrownAfterReleasingEverything)
{
    const float texels[4] = {};
    ReadSource frame(1, 1, GL_RGBA32F, GL_FLOAT, texels);
    PF_PixelFloat input[1] = {};
    PF_PixelFloat output[1] = {};
    source = worldOver(input, 1, 1, sizeof(input));
    PF_EffectWorld world = worldOver(output, 1, 1, sizeof(output));
    host.iterationError = 25;

    EXPECT_EQ(thrownCode([&] {
                  readBackOutput({1, 1}, &world, host.inData(),
                                 layerFormat(kPixelFormatAe32));
              }),
              25);
}

} // namespace
} // namespace Tessarine::Lamino
