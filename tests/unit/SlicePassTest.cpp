#include "effect/SlicePass.h"

#include <cmath>
#include <cstdint>
#include <limits>
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

struct Rgba {
    float r, g, b, a;
};

// A layer texture as the upload makes it: texel r, g, b, a hold the host's A, R, G, B; host row
// y is texel row y; linear filtering, clamp to edge.
class Layer {
public:
    Layer(int32_t width, int32_t height, const std::vector<Rgba>& straight)
    {
        std::vector<float> texels;
        for (const Rgba& c : straight) {
            texels.insert(texels.end(), {c.a, c.r, c.g, c.b});
        }
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(GL_LINEAR));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(GL_LINEAR));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLint>(GL_CLAMP_TO_EDGE));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLint>(GL_CLAMP_TO_EDGE));
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(GL_RGBA32F), width, height, 0, GL_RGBA,
                     GL_FLOAT, texels.data());
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    ~Layer() { glDeleteTextures(1, &name); }

    GLuint name = 0;
};

// A float framebuffer the pass draws into, with blending off and a covering viewport: the
// program's premultiplied RGBA result exactly as computed.
class Target {
public:
    Target(int32_t width, int32_t height) : width(width), height(height)
    {
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(GL_RGBA32F), width, height, 0, GL_RGBA,
                     GL_FLOAT, nullptr);
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        glDisable(GL_BLEND);
        glViewport(0, 0, width, height);
    }
    ~Target()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteTextures(1, &texture);
    }

    std::vector<Rgba> read() const
    {
        std::vector<Rgba> pixels(static_cast<size_t>(width) * height);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_FLOAT, pixels.data());
        return pixels;
    }

    Rgba at(const std::vector<Rgba>& pixels, int32_t x, int32_t y) const
    {
        return pixels[y * width + x];
    }

    int32_t width;
    int32_t height;

private:
    GLuint texture = 0;
    GLuint framebuffer = 0;
};

bool sameColour(const Rgba& a, const Rgba& b)
{
    constexpr float kTolerance = 1e-4f;
    return std::fabs(a.r - b.r) < kTolerance && std::fabs(a.g - b.g) < kTolerance &&
           std::fabs(a.b - b.b) < kTolerance && std::fabs(a.a - b.a) < kTolerance;
}

Rgba premultiplied(const Rgba& c)
{
    return {c.r * c.a, c.g * c.a, c.b * c.a, c.a};
}

constexpr Rgba kTransparent{0.0f, 0.0f, 0.0f, 0.0f};
constexpr Rgba kBlack{0.0f, 0.0f, 0.0f, 1.0f};
constexpr Rgba kWhite{1.0f, 1.0f, 1.0f, 1.0f};

class SlicePassTest : public GlContextTest {
protected:
    void SetUp() override
    {
        GlContextTest::SetUp();
        ContextRegistry::contextForCurrentThread()->makeCurrent();
    }

    std::vector<Rgba> draw(const Layer& input, const Target& target)
    {
        pass.draw(input.name, target.width, target.height);
        return target.read();
    }

    // The value of a uniform of the program the pass left in use.
    static std::vector<float> uniform(const char* name, size_t components)
    {
        GLint program = 0;
        glGetIntegerv(GL_CURRENT_PROGRAM, &program);
        std::vector<float> values(4);
        const GLint location = glGetUniformLocation(static_cast<GLuint>(program), name);
        EXPECT_NE(location, -1) << name;
        glGetUniformfv(static_cast<GLuint>(program), location, values.data());
        values.resize(components);
        return values;
    }

    static GLint intUniform(const char* name)
    {
        GLint program = 0;
        glGetIntegerv(GL_CURRENT_PROGRAM, &program);
        GLint value = -1;
        glGetUniformiv(static_cast<GLuint>(program),
                       glGetUniformLocation(static_cast<GLuint>(program), name), &value);
        return value;
    }

    SlicePass pass;
};

TEST(SliceCorners, RowFollowsTheAngleReducedToOneTurn)
{
    constexpr float w = 1920.0f;
    constexpr float h = 1080.0f;
    const SliceCorners firstRow{{0.0f, h}, {w, 0.0f, 0.0f, h}};
    const SliceCorners secondRow{{w, h}, {0.0f, 0.0f, w, h}};
    const SliceCorners thirdRow{{w, 0.0f}, {w, 0.0f, 0.0f, h}};
    const SliceCorners fourthRow{{0.0f, 0.0f}, {0.0f, 0.0f, w, h}};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const struct {
        double angle;
        SliceCorners expected;
    } cases[] = {
        {30.0, firstRow},   {89.99, firstRow},  {90.0, secondRow}, {180.0, thirdRow},
        {270.0, fourthRow}, {-90.0, fourthRow}, {360.0, firstRow}, {390.0, firstRow},
        {450.0, secondRow}, {-1e-6, firstRow},  {nan, firstRow},   {infinity, firstRow},
    };
    for (const auto& c : cases) {
        const SliceCorners got = sliceCornersForAngle(c.angle, w, h);
        EXPECT_EQ(std::vector<float>(got.startPoint, got.startPoint + 2),
                  std::vector<float>(c.expected.startPoint, c.expected.startPoint + 2))
            << "angle " << c.angle;
        EXPECT_EQ(std::vector<float>(got.corner, got.corner + 4),
                  std::vector<float>(c.expected.corner, c.expected.corner + 4))
            << "angle " << c.angle;
    }
}

TEST_F(SlicePassTest, UniformsCarryTheParameterValues)
{
    Layer input(1, 1, {kBlack});
    Target target(4, 2);
    pass.parameters.angle = -90.0;
    pass.parameters.count = 0; // would divide by zero in the band walk
    pass.parameters.offsetRandomSeed = 10000;
    pass.parameters.sizeRandomSeed = 1;
    pass.parameters.layerRandomSeed = 5000;
    pass.parameters.bothDirection = false;
    pass.parameters.offsetRandom = -2.5;
    pass.parameters.sizeRandom = 0.25;
    pass.parameters.layerAlpha = 0.75;
    pass.parameters.edgeType = 3;

    draw(input, target);

    EXPECT_EQ(uniform("startPoint", 2), (std::vector<float>{0.0f, 0.0f}));
    EXPECT_EQ(uniform("corner", 4), (std::vector<float>{0.0f, 0.0f, 4.0f, 2.0f}));
    EXPECT_EQ(uniform("viewSize", 2), (std::vector<float>{4.0f, 2.0f}));
    EXPECT_EQ(uniform("angle", 1)[0], -90.0f);
    EXPECT_EQ(uniform("count", 1)[0], 1.0f);
    EXPECT_EQ(uniform("offsetRandomSeed", 1)[0], 1.0f);
    EXPECT_EQ(uniform("sizeRandomSeed", 1)[0], 0.0001f);
    EXPECT_EQ(uniform("layerRandomSeed", 1)[0], 0.5f);
    EXPECT_EQ(uniform("bothDirection", 1)[0], 0.0f);
    EXPECT_EQ(uniform("offsetRandom", 1)[0], -2.5f);
    EXPECT_EQ(uniform("sizeRandom", 1)[0], 0.25f);
    EXPECT_EQ(uniform("layerAlpha", 1)[0], 0.75f);
    EXPECT_EQ(uniform("hasCustomLayer", 1)[0], 0.0f);
    EXPECT_EQ(intUniform("edgeType"), 3);
    EXPECT_EQ(intUniform("t0"), 0);
    EXPECT_EQ(intUniform("t1"), 1);

    // No custom layer: unit 1 is active with no texture, unit 0 holds the input.
    GLint active = 0;
    GLint bound = -1;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLenum>(active), GL_TEXTURE1);
    EXPECT_EQ(bound, 0);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), input.name);

    pass.parameters.bothDirection = true;
    Layer custom(1, 1, {kWhite});
    pass.parameters.customLayerTexture = custom.name;
    draw(input, target);
    EXPECT_EQ(uniform("bothDirection", 1)[0], 1.0f);
    EXPECT_EQ(uniform("hasCustomLayer", 1)[0], 1.0f);

    // A popup value the host should never send stays one of the four edge modes.
    pass.parameters.edgeType = -1;
    draw(input, target);
    EXPECT_EQ(intUniform("edgeType"), 0);
    pass.parameters.edgeType = 9;
    draw(input, target);
    EXPECT_EQ(intUniform("edgeType"), 3);
}

// Vertex arrays are not shared between contexts: each context that draws gets its own, while
// the buffer is made once; renders alternating between threads all draw.
TEST_F(SlicePassTest, QuadObjectsAreMadeOncePerContextAndBufferOnce)
{
    GlCallLog log;
    auto drawOnce = [this] {
        Layer input(1, 1, {{0.5f, 0.25f, 1.0f, 1.0f}});
        Target target(1, 1);
        EXPECT_TRUE(sameColour(draw(input, target)[0], {0.5f, 0.25f, 1.0f, 1.0f}));
    };

    drawOnce();
    drawOnce();
    EXPECT_EQ(log.count("glGenVertexArrays"), 1u);
    EXPECT_EQ(log.count("glGenBuffers"), 1u);

    TestThread other;
    other.run([&] {
        ContextRegistry::contextForCurrentThread()->makeCurrent();
        drawOnce();
    });
    drawOnce();
    other.run(drawOnce);
    EXPECT_EQ(log.count("glGenVertexArrays"), 2u);
    EXPECT_EQ(log.count("glGenBuffers"), 1u);
}

TEST(SlicePass, DestroyingAPassThatNeverDrewMakesNoGlCall)
{
    // No context is needed to make or destroy a pass that never drew.
    SlicePass pass;
    pass.parameters.count = 3;
}

TEST_F(SlicePassTest, WithoutOffsetTheInputComesOutPremultipliedInPlace)
{
    const std::vector<Rgba> pixels = {{1.0f, 0.0f, 0.0f, 1.0f},  {0.0f, 1.0f, 0.0f, 0.5f},
                                      {0.0f, 0.0f, 1.0f, 0.25f}, {0.2f, 0.4f, 0.6f, 1.0f},
                                      {1.0f, 1.0f, 1.0f, 0.0f},  {0.5f, 0.5f, 0.5f, 0.5f}};
    Layer input(3, 2, pixels);
    Target target(3, 2);
    for (double angle : {0.0, 30.0, 90.0, 200.0, -90.0}) {
        pass.parameters.angle = angle;
        pass.parameters.count = 2;
        pass.parameters.sizeRandom = 1.0;
        const std::vector<Rgba> result = draw(input, target);
        for (size_t i = 0; i < pixels.size(); ++i) {
            EXPECT_TRUE(sameColour(result[i], premultiplied(pixels[i])))
                << "angle " << angle << " pixel " << i;
        }
    }
}

// At angle 0 the bands are columns and shift along y; with every column one colour, a shifted
// column shows its own colour or (outside the frame, "Normal") nothing, and the gap is at one end.
TEST_F(SlicePassTest, BandsShiftOnlyAlongThemselvesAsRigidStrips)
{
    constexpr int32_t size = 8;
    std::vector<Rgba> columns;
    for (int32_t y = 0; y < size; ++y) {
        for (int32_t x = 0; x < size; ++x) {
            columns.push_back({x / 8.0f, 1.0f - x / 8.0f, 0.5f, 1.0f});
        }
    }
    Layer input(size, size, columns);
    Target target(size, size);
    pass.parameters.count = size;
    pass.parameters.offsetRandom = 0.6;
    pass.parameters.offsetRandomSeed = 77;

    const std::vector<Rgba> normal = draw(input, target);
    int32_t gaps = 0;
    for (int32_t x = 0; x < size; ++x) {
        int32_t changes = 0;
        for (int32_t y = 0; y < size; ++y) {
            const Rgba got = target.at(normal, x, y);
            EXPECT_TRUE(sameColour(got, columns[x]) || sameColour(got, kTransparent))
                << x << "," << y;
            gaps += sameColour(got, kTransparent);
            changes += y > 0 && sameColour(got, kTransparent) !=
                                    sameColour(target.at(normal, x, y - 1), kTransparent);
        }
        EXPECT_LE(changes, 1) << "column " << x << " is not one strip";
    }
    EXPECT_GT(gaps, 0) << "no band moved";

    pass.parameters.edgeType = 1; // "Repeat" wraps each column onto itself
    const std::vector<Rgba> repeat = draw(input, target);
    for (size_t i = 0; i < repeat.size(); ++i) {
        EXPECT_TRUE(sameColour(repeat[i], columns[i])) << "pixel " << i;
    }
}

// 100 x 50 at angle 0 with 4 equal bands: columns 0-24, 25-49, 50-74, 75-99. Each band shows
// either the input (black) or the custom layer (white) throughout.
TEST_F(SlicePassTest, EqualBandsSplitTheFrameAtExactColumnsAndEachShowsOneLayer)
{
    constexpr int32_t w = 100;
    constexpr int32_t h = 50;
    Layer input(1, 1, {kBlack});
    Layer custom(1, 1, {kWhite});
    Target target(w, h);
    pass.parameters.count = 4;
    pass.parameters.customLayerTexture = custom.name;
    int32_t whiteBands = 0;
    bool boundarySeen = false;
    for (int32_t seed = 0; seed < 16; ++seed) {
        pass.parameters.layerRandomSeed = seed * 613;
        const std::vector<Rgba> result = draw(input, target);
        for (int32_t band = 0; band < 4; ++band) {
            const Rgba first = target.at(result, band * 25, 0);
            EXPECT_TRUE(sameColour(first, kBlack) || sameColour(first, kWhite));
            whiteBands += sameColour(first, kWhite);
            for (int32_t x = band * 25; x < band * 25 + 25; ++x) {
                for (int32_t y = 0; y < h; y += 7) {
                    ASSERT_TRUE(sameColour(target.at(result, x, y), first))
                        << "seed " << seed << " at " << x << "," << y;
                }
            }
        }
        boundarySeen |= !sameColour(target.at(result, 24, 0), target.at(result, 25, 0));
    }
    EXPECT_TRUE(boundarySeen);
    EXPECT_GT(whiteBands, 16) << "about half of the bands take the custom layer";
    EXPECT_LT(whiteBands, 48) << "about half of the bands take the custom layer";
}

TEST_F(SlicePassTest, CustomLayerIsLaidOverTheInputWithItsOpacity)
{
    // A transparent red input under a half-transparent blue custom layer: colours mix, alpha is
    // the custom layer's.
    Layer input(1, 1, {{1.0f, 0.0f, 0.0f, 0.0f}});
    Layer custom(1, 1, {{0.0f, 0.0f, 1.0f, 1.0f}});
    Target target(2, 2);
    pass.parameters.count = 1;
    pass.parameters.customLayerTexture = custom.name;
    pass.parameters.layerAlpha = 0.5;
    const Rgba overlaid = premultiplied({0.5f, 0.0f, 0.5f, 0.5f});
    int32_t chosen = 0;
    for (int32_t seed = 0; seed < 12; ++seed) {
        pass.parameters.layerRandomSeed = seed * 811;
        const Rgba got = draw(input, target)[3];
        EXPECT_TRUE(sameColour(got, overlaid) || sameColour(got, kTransparent)) << "seed " << seed;
        chosen += sameColour(got, overlaid);
    }
    EXPECT_GT(chosen, 0);

    // Opacity 0, or no custom layer at all: only the input shows.
    for (GLuint customTexture : {custom.name, GLuint(0)}) {
        pass.parameters.layerAlpha = customTexture == 0 ? 1.0 : 0.0;
        pass.parameters.customLayerTexture = customTexture;
        for (int32_t seed = 0; seed < 12; ++seed) {
            pass.parameters.layerRandomSeed = seed * 811;
            EXPECT_TRUE(sameColour(draw(input, target)[3], kTransparent)) << "seed " << seed;
        }
    }
}

} // namespace
} // namespace Tessarine::Lamino
