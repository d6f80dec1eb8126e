#include "pipeline/OutputConversionPass.h"

#include <cstdint>
#include <vector>

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include "gl/AEOpenGLContext.h"
#include "gl/ContextRegistry.h"
#include "support/GlCallLog.h"
#include "support/GlContextTest.h"
#include "support/TestThread.h"

using namespace gl;

namespace Tessarine::Lamino {
namespace {

// A texture of RGBA float texels, one row. Nearest filtering keeps the conversion's arithmetic
// exact: linear filtering of float texels at a pixel centre may mix in a trace of a neighbour.
class Texels {
public:
    explicit Texels(const std::vector<float>& rgba) : width(static_cast<int32_t>(rgba.size() / 4))
    {
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(GL_NEAREST));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(GL_NEAREST));
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(GL_RGBA32F), width, 1, 0, GL_RGBA,
                     GL_FLOAT, rgba.data());
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    ~Texels() { glDeleteTextures(1, &name); }

    GLuint name = 0;
    int32_t width;
};

// A one-row framebuffer of the given colour format, bound for drawing with a matching viewport.
class Target {
public:
    Target(int32_t width, GLenum internalFormat) : width(width)
    {
        glGenRenderbuffers(1, &colour);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, internalFormat, width, 1);
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        glViewport(0, 0, width, 1);
    }
    ~Target()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteRenderbuffers(1, &colour);
    }

    template <class T> std::vector<T> read(GLenum type) const
    {
        std::vector<T> pixels(static_cast<size_t>(width) * 4);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glReadPixels(0, 0, width, 1, GL_RGBA, type, pixels.data());
        return pixels;
    }

private:
    GLuint colour = 0;
    GLuint framebuffer = 0;
    int32_t width;
};

class OutputConversionPassTest : public GlContextTest {
protected:
    void SetUp() override
    {
        GlContextTest::SetUp();
        ContextRegistry::contextForCurrentThread()->makeCurrent();
    }
};

TEST_F(OutputConversionPassTest, PremultipliedRgbaBecomesStraightArgb)
{
    // Premultiplied (0.25, 0.5, 0, 0.5); fully transparent with colour; opaque.
    Texels source({0.25f, 0.5f, 0.0f, 0.5f, 0.7f, 0.2f, 0.1f, 0.0f, 0.25f, 0.5f, 1.0f, 1.0f});
    Target target(source.width, GL_RGBA32F);
    OutputConversionPass pass;

    pass.draw(source.name, 1.0f);

    const std::vector<float> expected{0.5f, 0.5f, 1.0f, 0.0f,  0.0f, 0.0f,
                                      0.0f, 0.0f, 1.0f, 0.25f, 0.5f, 1.0f};
    EXPECT_EQ(target.read<float>(GL_FLOAT), expected);
}

TEST_F(OutputConversionPassTest, MultiplierScalesAllChannelsAndEightBitTargetsClamp)
{
    // Colour above its alpha (0.5 over 0.25) gives 2.0, clamped in an 8-bit target.
    Texels source({0.5f, 0.25f, 0.0f, 0.25f, 1.0f, 1.0f, 1.0f, 1.0f});
    OutputConversionPass pass;
    {
        Target target(source.width, GL_RGBA8);
        pass.draw(source.name, 1.0f);
        EXPECT_EQ(target.read<uint8_t>(GL_UNSIGNED_BYTE),
                  (std::vector<uint8_t>{64, 255, 255, 0, 255, 255, 255, 255}));
    }
    {
        Target target(source.width, GL_RGBA32F);
        pass.draw(source.name, 65535.0f / 32768.0f);
        const std::vector<float> pixels = target.read<float>(GL_FLOAT);
        EXPECT_FLOAT_EQ(pixels[4], 32768.0f / 65535.0f);
        EXPECT_FLOAT_EQ(pixels[1], 2.0f * 32768.0f / 65535.0f);
    }
}

// Vertex arrays are not shared between contexts: each context that converts gets its own,
// while the buffer is made once.
TEST_F(OutputConversionPassTest, QuadObjectsAreMadeOncePerContextAndBufferOnce)
{
    OutputConversionPass pass;
    GlCallLog log;
    auto convertOnce = [&pass] {
        Texels source({0.0f, 0.0f, 0.0f, 1.0f});
        Target target(1, GL_RGBA8);
        pass.draw(source.name, 1.0f);
        EXPECT_EQ(target.read<uint8_t>(GL_UNSIGNED_BYTE), (std::vector<uint8_t>{255, 0, 0, 0}));
    };

    convertOnce();
    convertOnce();
    EXPECT_EQ(log.count("glGenVertexArrays"), 1u);
    EXPECT_EQ(log.count("glGenBuffers"), 1u);

    TestThread other;
    other.run([&] {
        ContextRegistry::contextForCurrentThread()->makeCurrent();
        convertOnce();
        convertOnce();
    });
    EXPECT_EQ(log.count("glGenVertexArrays"), 2u);
    EXPECT_EQ(log.count("glGenBuffers"), 1u);
}

TEST_F(OutputConversionPassTest, DestroyingAPassThatNeverDrewMakesNoGlCall)
{
    GlCallLog log;
    {
        OutputConversionPass pass;
    }
    EXPECT_TRUE(log.names().empty());
}

} // namespace
} // namespace Tessarine::Lamino
