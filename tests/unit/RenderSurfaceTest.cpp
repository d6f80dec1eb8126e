#include "pipeline/RenderSurface.h"

#include <cstdint>
#include <string>
#include <vector>

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include "gl/AEOpenGLContext.h"
#include "gl/ContextRegistry.h"
#include "gl/GpuFailure.h"
#include "pipeline/PixelFormat.h"
#include "support/GlCallLog.h"
#include "support/GlContextTest.h"
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

    // A w x h 8-bit frame whose drawing is a clear to one colour, read back as bytes.
    static Pixels render(int32_t w, int32_t h, float r, float g, float b, float a)
    {
        RenderSurface& surface = RenderSurface::instance();
        surface.prepare(w, h, layerFormat(kPixelFormatArgb));
        surface.beginDraw();
        glClearColor(r, g, b, a);
        glClear(GL_COLOR_BUFFER_BIT);
        Pixels pixels(static_cast<size_t>(w) * h * 4);
        glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }

    static Pixels repeated(const Pixels& one, size_t count)
    {
        Pixels all;
        for (size_t i = 0; i < count; ++i) {
            all.insert(all.end(), one.begin(), one.end());
        }
        return all;
    }

    static GLint internalFormatOf(GLuint renderbuffer)
    {
        GLint format = 0;
        glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
        glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_INTERNAL_FORMAT, &format);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        return format;
    }

    RenderSurface& surface = RenderSurface::instance();
};

TEST_F(RenderSurfaceTest, SteadySizeAndFormatMakeNoGlCall)
{
    surface.prepare(6, 4, layerFormat(kPixelFormatArgb));
    GlCallLog log;
    surface.prepare(6, 4, layerFormat(kPixelFormatArgb));
    EXPECT_TRUE(log.names().empty());
}

TEST_F(RenderSurfaceTest, OutputHoldsEachFormatAtItsOwnPrecisionInOneKeptFramebuffer)
{
    surface.prepare(6, 4, layerFormat(kPixelFormatArgb));
    const RenderSurface::Targets first = surface.currentTargets();
    EXPECT_EQ(internalFormatOf(first.outputRenderbuffer), static_cast<GLint>(GL_RGBA8));

    GlCallLog log;
    surface.prepare(6, 4, layerFormat(kPixelFormatAe16));
    EXPECT_EQ(internalFormatOf(surface.currentTargets().outputRenderbuffer),
              static_cast<GLint>(GL_RGBA16));
    surface.prepare(9, 2, layerFormat(kPixelFormatAe32));
    const RenderSurface::Targets last = surface.currentTargets();
    EXPECT_EQ(internalFormatOf(last.outputRenderbuffer), static_cast<GLint>(GL_RGBA32F));
    EXPECT_EQ(last.framebuffer, first.framebuffer);
    EXPECT_EQ(log.count("glGenFramebuffers"), 0u);
    EXPECT_EQ(log.count("glGenRenderbuffers"), 2u);
    EXPECT_EQ(log.count("glDeleteRenderbuffers"), 2u);
    EXPECT_EQ(last.width, 9);
    EXPECT_EQ(last.height, 2);
}

TEST_F(RenderSurfaceTest, BeginDrawBindsTheOutputForDrawingAndReadingWithACoveringViewport)
{
    EXPECT_EQ(render(3, 2, 1.0f, 0.5f, 0.0f, 1.0f), repeated({255, 128, 0, 255}, 6));
    GLint read = 0, draw = 0, viewport[4] = {};
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(static_cast<GLuint>(read), surface.currentTargets().framebuffer);
    EXPECT_EQ(static_cast<GLuint>(draw), surface.currentTargets().framebuffer);
    EXPECT_EQ(viewport[2], 3);
    EXPECT_EQ(viewport[3], 2);
    EXPECT_EQ(glIsEnabled(GL_BLEND), GL_FALSE);
}

TEST_F(RenderSurfaceTest, FailedAllocationIsRaisedAndLeavesNoRenderbufferBehind)
{
    GLint largest = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
    GlCallLog log;
    try {
        // Far more than llvmpipe gives one renderbuffer (about 100 million pixels at 8 bits).
        surface.prepare(largest, largest, layerFormat(kPixelFormatAe32));
        ADD_FAILURE() << "a renderbuffer of " << largest << " x " << largest
                      << " floats was allocated";
    } catch (const GpuFailure& failure) {
        EXPECT_EQ(failure.kind, GpuFailure::Kind::OutOfMemory);
    }
    EXPECT_EQ(log.count("glGenRenderbuffers"), log.count("glDeleteRenderbuffers"));
    EXPECT_EQ(surface.currentTargets().outputRenderbuffer, 0u);
    EXPECT_EQ(glGetError(), GL_NO_ERROR) << "the failure's errors were taken off";
    EXPECT_EQ(render(2, 2, 0.0f, 1.0f, 0.0f, 1.0f), repeated({0, 255, 0, 255}, 4))
        << "the next frame is made";
}

// Renders of one size alternating between two threads must each draw into their own objects.
TEST_F(RenderSurfaceTest, RendersAlternatingBetweenThreadsAtOneSizeGiveTheirOwnFrames)
{
    TestThread first;
    TestThread second;
    auto renderOn = [](TestThread& thread, float r, float g, float b, const Pixels& expected) {
        thread.run([&] {
            ContextRegistry::contextForCurrentThread()->makeCurrent();
            EXPECT_EQ(render(2, 2, r, g, b, 1.0f), repeated(expected, 4));
        });
    };
    renderOn(first, 1.0f, 0.0f, 0.0f, {255, 0, 0, 255});
    renderOn(second, 0.0f, 1.0f, 0.0f, {0, 255, 0, 255});
    renderOn(first, 0.0f, 0.0f, 1.0f, {0, 0, 255, 255});
    renderOn(second, 1.0f, 1.0f, 1.0f, {255, 255, 255, 255});
    EXPECT_EQ(render(2, 2, 0.0f, 0.0f, 0.0f, 1.0f), repeated({0, 0, 0, 255}, 4));
}

// The textures and renderbuffers are shared with the root: a context that goes while current
// (a render thread's, on its own thread) deletes them, or they would outlive it.
TEST_F(RenderSurfaceTest, ContextDeletedWhileCurrentDeletesItsSharedObjects)
{
    GlCallLog log;
    {
        AEOpenGLContext context(ContextRegistry::root());
        context.makeCurrent();
        surface.prepare(4, 4, layerFormat(kPixelFormatArgb));
        surface.inputLayer().allocate(4, 4, GL_RGBA8);
    }
    ContextRegistry::contextForCurrentThread()->makeCurrent();
    EXPECT_EQ(log.count("glGenRenderbuffers"), 1u);
    EXPECT_EQ(log.count("glDeleteRenderbuffers"), 1u);
    EXPECT_EQ(log.count("glGenTextures"), 1u);
    EXPECT_EQ(log.count("glDeleteTextures"), 1u);
    EXPECT_EQ(log.count("glDeleteFramebuffers"), 1u);
}

// Global setdown followed by a new global setup: the surface builds itself again.
TEST_F(RenderSurfaceTest, SurfaceRendersAgainAfterTeardownAndLeaksNothing)
{
    GlCallLog log;
    EXPECT_EQ(render(2, 1, 1.0f, 0.0f, 0.0f, 1.0f), repeated({255, 0, 0, 255}, 2));
    surface.inputLayer().allocate(2, 1, GL_RGBA8);
    surface.teardown();
    EXPECT_EQ(surface.currentTargets().framebuffer, 0u);

    EXPECT_EQ(render(2, 1, 0.0f, 0.0f, 1.0f, 1.0f), repeated({0, 0, 255, 255}, 2));
    surface.teardown();

    for (const char* kind : {"Framebuffers", "Renderbuffers", "Textures"}) {
        EXPECT_EQ(log.count(std::string("glGen") + kind), log.count(std::string("glDelete") + kind))
            << kind;
    }
}

} // namespace
} // namespace Tessarine::Lamino
