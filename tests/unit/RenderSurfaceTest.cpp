#include "pipeline/RenderSurface.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include "gl/AEOpenGLContext.h"
#include "gl/ContextRegistry.h"
#include "gl/OpenglShader.h"
#include "support/GlCallLog.h"
#include "support/GlContextTest.h"
#include "support/StdoutCapture.h"
#include "support/TestThread.h"

using namespace gl;

namespace Tessarine::Lamino {
namespace {

using Pixels = std::vector<uint8_t>;

// Each test starts and ends with a surface as new, in the test thread's own context.
class RenderSurfaceTest : public GlContextTest {
protected:
    void SetUp() override
    {
        GlContextTest::SetUp();
        ContextRegistry::contextForCurrentThread()->makeCurrent();
        surface.teardown();
    }

    void TearDown() override
    {
        ContextRegistry::contextForCurrentThread()->makeCurrent();
        surface.teardown();
    }

    // One render of a w x h frame whose drawing is a clear to a premultiplied colour; returns
    // the output framebuffer's bytes (host order A, R, G, B per pixel).
    static Pixels render(int32_t w, int32_t h, float r, float g, float b, float a)
    {
        RenderSurface& surface = RenderSurface::instance();
        surface.resize(w, h);
        surface.beginDraw();
        glClearColor(r, g, b, a);
        glClear(GL_COLOR_BUFFER_BIT);
        surface.convertOutput(1.0f);
        Pixels pixels(static_cast<size_t>(w) * h * 4);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }

    static GLuint attachedRenderbuffer(GLuint framebuffer)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        GLint name = 0;
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                              GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &name);
        return static_cast<GLuint>(name);
    }

    static void expectPixels(const Pixels& pixels, const Pixels& one)
    {
        for (size_t i = 0; i < pixels.size(); ++i) {
            EXPECT_LE(std::abs(pixels[i] - one[i % 4]), 1) << "byte " << i;
        }
    }

    RenderSurface& surface = RenderSurface::instance();
};

TEST_F(RenderSurfaceTest, SurfaceWithNothingMadeMakesNoGlCall)
{
    GlCallLog log;
    surface.resize(0, 0);
    EXPECT_EQ(surface.resolveToTexture(), 0u);
    surface.convertOutput(1.0f);
    surface.release();
    surface.teardown();
    EXPECT_TRUE(log.names().empty());
    EXPECT_EQ(surface.currentFramebuffers().multisampleFramebuffer, 0u);
}

TEST_F(RenderSurfaceTest, ResizeToTheStoredSizeMakesNoGlCallAndKeepsLevels)
{
    surface.resize(2, 2);
    surface.beginDraw();
    GlCallLog log;
    surface.resize(2, 2);
    EXPECT_TRUE(log.names().empty());
    EXPECT_EQ(surface.levelStack().size(), 1u);
}

// Framebuffers hold no storage and stay; the shared renderbuffers are replaced.
TEST_F(RenderSurfaceTest, ResizeToANewSizeReplacesRenderbuffersAndEmptiesTheStack)
{
    surface.resize(2, 2);
    surface.beginDraw();
    const RenderSurface::Framebuffers before = surface.currentFramebuffers();
    const GLuint oldOutput = surface.outputRenderbufferName();
    const GLuint oldLevel = surface.levelStack().back();
    GlCallLog log;

    surface.resize(3, 1);

    EXPECT_EQ(log.calls("glDeleteRenderbuffers").size(), 2u);
    EXPECT_EQ(log.count("glGenRenderbuffers"), 1u);
    EXPECT_EQ(log.count("glGenFramebuffers") + log.count("glDeleteFramebuffers"), 0u);
    EXPECT_TRUE(surface.levelStack().empty());
    EXPECT_EQ(surface.surfaceWidth(), 3);
    EXPECT_EQ(surface.surfaceHeight(), 1);
    EXPECT_EQ(surface.currentFramebuffers().multisampleFramebuffer, before.multisampleFramebuffer);
    for (GLuint old : {oldOutput, oldLevel}) {
        if (old != surface.outputRenderbufferName()) { // GL may hand a freed name out again
            EXPECT_EQ(glIsRenderbuffer(old), GL_FALSE) << old;
        }
    }
}

// A render that failed before its resolve left a level; the next resolve takes only its own.
TEST_F(RenderSurfaceTest, ResolvePopsOnlyTheTopLevelAndReattachesTheOneBelow)
{
    surface.resize(2, 2);
    surface.beginDraw();
    surface.beginDraw();
    const std::vector<GLuint> levels = surface.levelStack();
    ASSERT_EQ(levels.size(), 2u);

    GLuint texture = surface.resolveToTexture();

    EXPECT_NE(texture, 0u);
    EXPECT_EQ(surface.levelStack(), std::vector<GLuint>{levels[0]});
    EXPECT_EQ(glIsRenderbuffer(levels[1]), GL_FALSE);
    EXPECT_EQ(attachedRenderbuffer(surface.currentFramebuffers().multisampleFramebuffer),
              levels[0]);
    glDeleteTextures(1, &texture);
}

// Asking for more samples than the driver allows (llvmpipe: 4) leaves the framebuffer
// incomplete and every frame empty.
TEST_F(RenderSurfaceTest, MultisampledLevelStaysWithinTheDriversSampleLimit)
{
    StdoutCapture output;
    surface.resize(2, 2);
    surface.beginDraw();

    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GL_FRAMEBUFFER_COMPLETE);
    GLint maxSamples = 0;
    GLint samples = -1;
    glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
    glBindRenderbuffer(GL_RENDERBUFFER, surface.levelStack().back());
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_SAMPLES, &samples);
    EXPECT_LE(samples, maxSamples);
    EXPECT_GE(samples, std::min(maxSamples, 4));
    EXPECT_EQ(output.text().find("framebuffer incomplete"), std::string::npos);
}

TEST_F(RenderSurfaceTest, RenderGivesStraightArgbInTheOutputFramebuffer)
{
    // Premultiplied (0.2, 0.4, 0, 0.4): alpha 102, red 0.5, green 1, blue 0.
    expectPixels(render(3, 2, 0.2f, 0.4f, 0.0f, 0.4f), {102, 128, 255, 0});
    GLint read = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
    EXPECT_EQ(static_cast<GLuint>(read), surface.currentFramebuffers().outputFramebuffer);
    EXPECT_TRUE(surface.levelStack().empty());
}

// A pass whose program failed to build draws nothing: the frame is the transparent black that
// beginDraw cleared to, never what an earlier render left behind.
TEST_F(RenderSurfaceTest, DrawWithoutABuiltProgramLeavesTheFrameTransparent)
{
    render(3, 2, 0.5f, 0.5f, 0.5f, 0.5f);
    StdoutCapture log;
    OpenglShader broken("#version 330\nvoid main() { gl_Position = vec4(0.0); }\n",
                        "#version 330\nthis is not GLSL\n");
    surface.resize(3, 2);
    surface.beginDraw();
    broken.use();
    glDrawArrays(GL_TRIANGLES, 0, 6);
    surface.convertOutput(1.0f);
    Pixels pixels(3 * 2 * 4, 0xEE);
    glReadPixels(0, 0, 3, 2, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    expectPixels(pixels, {0, 0, 0, 0});
    EXPECT_NE(log.text().find("Shader frag error:"), std::string::npos);
}

// Framebuffers and vertex arrays belong to the context that made them; renders of one size
// alternating between two threads must each draw into their own.
TEST_F(RenderSurfaceTest, RendersAlternatingBetweenThreadsAtOneSizeGiveTheirOwnFrames)
{
    TestThread first;
    TestThread second;
    auto renderOn = [](TestThread& thread, float r, float g, float b, const Pixels& expected) {
        thread.run([&] {
            ContextRegistry::contextForCurrentThread()->makeCurrent();
            expectPixels(render(2, 2, r, g, b, 1.0f), expected);
        });
    };
    renderOn(first, 1.0f, 0.0f, 0.0f, {255, 255, 0, 0});
    renderOn(second, 0.0f, 1.0f, 0.0f, {255, 0, 255, 0});
    renderOn(first, 0.0f, 0.0f, 1.0f, {255, 0, 0, 255});
    renderOn(second, 1.0f, 1.0f, 1.0f, {255, 255, 255, 255});
    expectPixels(render(2, 2, 0.0f, 0.0f, 0.0f, 1.0f), {255, 0, 0, 0});
}

// Global setdown followed by a new global setup: the surface builds itself again.
TEST_F(RenderSurfaceTest, SurfaceRendersAgainAfterTeardownAndLeaksNothing)
{
    GlCallLog log;
    expectPixels(render(2, 1, 1.0f, 0.0f, 0.0f, 1.0f), {255, 255, 0, 0});
    surface.teardown();
    EXPECT_FALSE(surface.hasConversionPass());
    EXPECT_EQ(surface.surfaceWidth(), 0);

    expectPixels(render(2, 1, 0.0f, 0.0f, 1.0f, 1.0f), {255, 0, 0, 255});
    surface.teardown();

    for (const char* kind :
         {"Framebuffers", "Renderbuffers", "Textures", "VertexArrays", "Buffers"}) {
        EXPECT_EQ(log.count(std::string("glGen") + kind), log.count(std::string("glDelete") + kind))
            << kind;
    }
    EXPECT_EQ(log.count("glCreateProgram"), log.count("glDeleteProgram"));
}

} // namespace
} // namespace Tessarine::Lamino
