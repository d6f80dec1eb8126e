#include "effect/SlicePass.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include "gl/AEOpenGLContext.h"
#include "gl/ContextRegistry.h"
#include "gl/GpuFailure.h"
#include "support/GlCallLog.h"
#include "support/StdoutCapture.h"
#include "support/GlContextTest.h"
#include "support/TestThread.h"

using namespace gl;

namespace Tessarine::Lamino {
namespace {

struct Rgba {
    float r, g, b, a;
};

// A layer texture as the upload makes it: texel r, g, b, a hold the host's A, R, G, B; host row
// y is texel row y.
class Layer {
public:
    Layer(int32_t width, int32_t height, const std::vector<Rgba>& straight)
        : width(width), height(height)
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
    int32_t width;
    int32_t height;
};

// A float framebuffer the pass draws into, with blending off and a covering viewport: the
// program's result (host order A, R, G, B, straight) exactly as computed.
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

// What the pass writes for a straight colour: the host's order A, R, G, B in r, g, b, a.
Rgba hostOrder(const Rgba& c)
{
    return {c.a, c.r, c.g, c.b};
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

    SliceFrame frameOf(const Layer& input, const Target& target, const Layer* custom = nullptr)
    {
        SliceFrame frame;
        frame.inputTexture = input.name;
        frame.customTexture = custom ? custom->name : 0;
        frame.customWidth = custom ? float(custom->width) : 0.0f;
        frame.customHeight = custom ? float(custom->height) : 0.0f;
        frame.width = float(target.width);
        frame.height = float(target.height);
        frame.parameters = parameters;
        return frame;
    }

    std::vector<Rgba> draw(const Layer& input, const Target& target,
                           const Layer* custom = nullptr)
    {
        pass.draw(frameOf(input, target, custom));
        return target.read();
    }

    // The values in the uniform buffer the pass left bound for its program's block.
    static SliceUniformValues boundValues()
    {
        GLint buffer = 0;
        glGetIntegeri_v(GL_UNIFORM_BUFFER_BINDING, SliceUniformBlock::kBinding, &buffer);
        EXPECT_NE(buffer, 0);
        SliceUniformValues values;
        glBindBuffer(GL_UNIFORM_BUFFER, static_cast<GLuint>(buffer));
        glGetBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof values, &values);
        glBindBuffer(GL_UNIFORM_BUFFER, 0);
        return values;
    }

    static std::vector<float> four(const float (&values)[4])
    {
        return {values[0], values[1], values[2], values[3]};
    }

    SlicePass pass;
    SliceParameters parameters;
};

TEST_F(SlicePassTest, UniformBlockCarriesTheGeometryWorkedOutOnTheCpu)
{
    Layer input(4, 2, std::vector<Rgba>(8, kBlack));
    Target target(4, 2);
    parameters.angle = -90.0;
    parameters.count = 0; // would divide by zero in the band table
    parameters.offsetRandom = 0.5;
    SliceFrame frame = frameOf(input, target);
    frame.inputScale = 2.0f;
    frame.outputScale = 0.5f;
    frame.alphaFloor = 0.25f;
    pass.draw(frame);

    const SliceUniformValues values = boundValues();
    const std::vector<float> line = four(values.sampleLine[0]); // start point, along
    EXPECT_EQ(line[0], 0.0f);
    EXPECT_EQ(line[1], 0.0f);
    EXPECT_NEAR(line[2], -1.0f, 1e-7f);
    EXPECT_NEAR(line[3], 0.0f, 1e-7f);
    EXPECT_EQ(four(values.sampleBands[0]), (std::vector<float>{0.0f, 0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(values.viewSize[0], 4.0f);
    EXPECT_EQ(values.viewSize[1], 2.0f);
    EXPECT_EQ(values.inputScale, 2.0f);
    EXPECT_EQ(values.outputScale, 0.5f);
    EXPECT_EQ(values.alphaFloor, 0.25f);
    EXPECT_EQ(values.sampleCount, 1);
}

// The program is shared by every render thread: a draw writes its values into its context's
// uniform buffer and never into the program, whose only state (sampler units, block binding)
// was set once when it was linked.
TEST_F(SlicePassTest, DrawsWriteNoProgramStateAfterTheFirstBuild)
{
    Layer input(4, 2, std::vector<Rgba>(8, kBlack));
    Target target(4, 2);
    parameters.offsetRandom = 0.5;
    draw(input, target);
    GlCallLog log;
    parameters.angle = 40.0;
    draw(input, target);
    for (const std::string& name : log.names()) {
        EXPECT_NE(name.rfind("glUniform", 0), 0u) << name;
        EXPECT_NE(name.rfind("glProgramUniform", 0), 0u) << name;
    }
    EXPECT_EQ(log.count("glBufferSubData"), 1u);
    EXPECT_EQ(log.count("glBindBufferBase"), 1u);
}

// The geometry, the band table and the program variant are worked out before drawing, so one
// draw makes the same calls whatever the number of bands, and a steady render makes no object.
TEST_F(SlicePassTest, DrawMakesTheSameGlCallsWhateverTheNumberOfBands)
{
    Layer input(64, 32, std::vector<Rgba>(64 * 32, kBlack));
    Target target(64, 32);
    parameters.offsetRandom = 0.2;
    parameters.sizeRandom = 0.5;
    parameters.count = 3;
    draw(input, target);
    parameters.count = 2000;
    draw(input, target); // the table grows once
    std::vector<std::string> few, many;
    {
        GlCallLog log;
        parameters.count = 3;
        draw(input, target);
        few = log.names();
    }
    {
        GlCallLog log;
        parameters.count = 2000;
        draw(input, target);
        many = log.names();
        for (const char* made : {"glGenTextures", "glGenBuffers", "glGenVertexArrays",
                                 "glCreateProgram", "glTexImage2D", "glGetUniformLocation"}) {
            EXPECT_EQ(log.count(made), 0u) << made;
        }
    }
    EXPECT_EQ(few, many);
}

TEST_F(SlicePassTest, QuadObjectsAreMadeOncePerContextAndBufferOnce)
{
    GlCallLog log;
    auto drawOnce = [this] {
        Layer input(1, 1, {{0.5f, 0.25f, 1.0f, 1.0f}});
        Target target(1, 1);
        EXPECT_TRUE(sameColour(draw(input, target)[0], hostOrder({0.5f, 0.25f, 1.0f, 1.0f})));
    };

    drawOnce();
    drawOnce();
    // The quad's vertex buffer, and the context's uniform buffer.
    EXPECT_EQ(log.count("glGenVertexArrays"), 1u);
    EXPECT_EQ(log.count("glGenBuffers"), 2u);

    TestThread other;
    other.run([&] {
        ContextRegistry::contextForCurrentThread()->makeCurrent();
        drawOnce();
    });
    drawOnce();
    other.run(drawOnce);
    EXPECT_EQ(log.count("glGenVertexArrays"), 2u);
    EXPECT_EQ(log.count("glGenBuffers"), 3u); // a uniform buffer for the other context alone
}

// Render threads draw with the one pass at the same time, each in its own context with its own
// controls and frame size: every draw must give the frame it gives alone.
TEST_F(SlicePassTest, ConcurrentDrawsOnFourThreadsEachGiveTheirOwnFrame)
{
    constexpr int kThreads = 4;
    constexpr int kRounds = 25;
    std::atomic<int> ready{0};
    std::atomic<int> mismatches{0};
    std::atomic<int> failures{0};
    auto renderThread = [&](int index) {
        try {
            ContextRegistry::contextForCurrentThread()->makeCurrent();
            const int32_t width = 17 + 6 * index;
            const int32_t height = 9 + 4 * index;
            std::vector<Rgba> pixels;
            for (int32_t i = 0; i < width * height; ++i) {
                pixels.push_back({float(i % width) / float(width), float(i / width) / float(height),
                                  0.25f * float(index), 1.0f});
            }
            Layer input(width, height, pixels);
            Target target(width, height);
            SliceFrame frame;
            frame.inputTexture = input.name;
            frame.width = float(width);
            frame.height = float(height);
            frame.parameters.count = 3 + 5 * index;
            frame.parameters.angle = 25.0 * index - 30.0;
            frame.parameters.offsetRandom = 0.2 + 0.1 * index;
            frame.parameters.offsetRandomSeed = index;
            frame.parameters.edgeType = index % 4;
            pass.draw(frame);
            const std::vector<Rgba> alone = target.read();
            ++ready;
            while (ready < kThreads) {
                std::this_thread::yield();
            }
            for (int round = 0; round < kRounds; ++round) {
                pass.draw(frame);
                const std::vector<Rgba> again = target.read();
                if (std::memcmp(again.data(), alone.data(), alone.size() * sizeof(Rgba)) != 0) {
                    ++mismatches;
                }
            }
        } catch (...) {
            ++failures;
            ++ready;
        }
        wglMakeCurrent(nullptr, nullptr);
    };
    // The first draws build the program variants one thread at a time; the rounds then overlap.
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back(renderThread, i);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(mismatches, 0);
}

TEST(SlicePass, DestroyingAPassThatNeverDrewMakesNoGlCall)
{
    // No context is needed to make or destroy a pass that never drew.
    SlicePass pass;
}

TEST_F(SlicePassTest, ProgramThatDoesNotBuildFailsTheDrawInsteadOfDrawingNothing)
{
    StdoutCapture output;
    SlicePass broken("#version 330\nthis is not GLSL\n");
    Layer input(2, 2, std::vector<Rgba>(4, kBlack));
    Target target(2, 2);
    GlCallLog log;
    try {
        broken.draw(frameOf(input, target));
        ADD_FAILURE() << "a draw without a program reported success";
    } catch (const GpuFailure& failure) {
        EXPECT_EQ(failure.kind, GpuFailure::Kind::ProgramNotBuilt);
    }
    EXPECT_EQ(log.count("glDrawArrays"), 0u);
    EXPECT_NE(output.text().find("Shader frag error:"), std::string::npos);
}

TEST_F(SlicePassTest, WithoutOffsetTheInputComesOutInPlaceInTheHostsOrder)
{
    const std::vector<Rgba> pixels = {{1.0f, 0.0f, 0.0f, 1.0f},  {0.0f, 1.0f, 0.0f, 0.5f},
                                      {0.0f, 0.0f, 1.0f, 0.25f}, {0.2f, 0.4f, 0.6f, 1.0f},
                                      {1.0f, 1.0f, 1.0f, 0.0f},  {0.5f, 0.5f, 0.5f, 0.01f}};
    Layer input(3, 2, pixels);
    Target target(3, 2);
    for (double angle : {0.0, 30.0, 90.0, 200.0, -90.0}) {
        parameters.angle = angle;
        parameters.count = 2;
        parameters.sizeRandom = 1.0;
        const std::vector<Rgba> result = draw(input, target);
        for (size_t i = 0; i < pixels.size(); ++i) {
            // Straight colour, kept at low alpha; a pixel of alpha 0 keeps none.
            const Rgba expected = pixels[i].a == 0.0f ? kTransparent : hostOrder(pixels[i]);
            EXPECT_TRUE(sameColour(result[i], expected)) << "angle " << angle << " pixel " << i;
        }
    }
}

TEST_F(SlicePassTest, FormatScalesBringTexelsToFullScaleAndBackAndFloorTheAlpha)
{
    Layer input(2, 1, {{0.25f, 0.5f, 0.125f, 0.5f}, {0.5f, 0.5f, 0.5f, 0.001f}});
    Target target(2, 1);
    SliceFrame frame = frameOf(input, target);
    frame.inputScale = 2.0f;
    frame.outputScale = 0.25f;
    frame.alphaFloor = 0.01f;
    pass.draw(frame);
    const std::vector<Rgba> result = target.read();
    EXPECT_TRUE(sameColour(result[0], {0.25f, 0.125f, 0.25f, 0.0625f}));
    EXPECT_TRUE(sameColour(result[1], kTransparent)) << "alpha 0.002 is below the floor";
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
    parameters.count = size;
    parameters.offsetRandom = 0.6;
    parameters.offsetRandomSeed = 77;

    const std::vector<Rgba> normal = draw(input, target);
    int32_t gaps = 0;
    for (int32_t x = 0; x < size; ++x) {
        int32_t changes = 0;
        for (int32_t y = 0; y < size; ++y) {
            const Rgba got = target.at(normal, x, y);
            EXPECT_TRUE(sameColour(got, hostOrder(columns[x])) || sameColour(got, kTransparent))
                << x << "," << y;
            gaps += sameColour(got, kTransparent);
            changes += y > 0 && sameColour(got, kTransparent) !=
                                    sameColour(target.at(normal, x, y - 1), kTransparent);
        }
        EXPECT_LE(changes, 1) << "column " << x << " is not one strip";
    }
    EXPECT_GT(gaps, 0) << "no band moved";

    parameters.edgeType = 1; // "Repeat" wraps each column onto itself
    const std::vector<Rgba> repeat = draw(input, target);
    for (size_t i = 0; i < repeat.size(); ++i) {
        EXPECT_TRUE(sameColour(repeat[i], hostOrder(columns[i]))) << "pixel " << i;
    }
}

// 10 x 8 at angle 0 with 4 bands of 2.5 pixels: the centres of columns 2 and 7 lie exactly on
// band ends, and belong to the bands ending there (0 and 2), moving with the columns before them.
TEST_F(SlicePassTest, PixelOnABoundaryBelongsToTheBandEndingThere)
{
    constexpr int32_t w = 10;
    constexpr int32_t h = 8;
    std::vector<Rgba> rows;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            rows.push_back({y / 8.0f, 0.5f, 1.0f - y / 8.0f, 1.0f});
        }
    }
    Layer input(w, h, rows);
    Target target(w, h);
    parameters.count = 4;
    parameters.offsetRandom = 0.4;
    parameters.edgeType = 1; // "Repeat": every pixel shows some row
    bool shiftsDiffer = false;
    for (int32_t seed = 1; seed < 40 && !shiftsDiffer; ++seed) {
        parameters.offsetRandomSeed = seed;
        const std::vector<Rgba> result = draw(input, target);
        auto sameColumn = [&](int32_t a, int32_t b) {
            for (int32_t y = 0; y < h; ++y) {
                if (!sameColour(target.at(result, a, y), target.at(result, b, y))) {
                    return false;
                }
            }
            return true;
        };
        shiftsDiffer = !sameColumn(1, 3) && !sameColumn(6, 8);
        if (shiftsDiffer) {
            EXPECT_TRUE(sameColumn(1, 2)) << "seed " << seed;
            EXPECT_TRUE(sameColumn(6, 7)) << "seed " << seed;
        }
    }
    EXPECT_TRUE(shiftsDiffer) << "no seed moved neighbouring bands apart";
}

// 100 x 50 at angle 0 with 4 equal bands: columns 0-24, 25-49, 50-74, 75-99. Each band shows
// either the input (black) or the custom layer (white) throughout.
TEST_F(SlicePassTest, EqualBandsSplitTheFrameAtExactColumnsAndEachShowsOneLayer)
{
    constexpr int32_t w = 100;
    constexpr int32_t h = 50;
    Layer input(w, h, std::vector<Rgba>(w * h, kBlack)); // the input has the frame's size
    Layer custom(1, 1, {kWhite});                      // the custom layer is stretched
    Target target(w, h);
    parameters.count = 4;
    int32_t whiteBands = 0;
    bool boundarySeen = false;
    const Rgba black = hostOrder(kBlack), white = hostOrder(kWhite);
    for (int32_t seed = 0; seed < 16; ++seed) {
        parameters.layerRandomSeed = seed * 613;
        const std::vector<Rgba> result = draw(input, target, &custom);
        for (int32_t band = 0; band < 4; ++band) {
            const Rgba first = target.at(result, band * 25, 0);
            EXPECT_TRUE(sameColour(first, black) || sameColour(first, white));
            whiteBands += sameColour(first, white);
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
    // A transparent red input under a half-transparent blue custom layer: the input's colour
    // counts by its alpha (none), so the blue shows as it is, with the custom layer's alpha.
    Layer input(2, 2, std::vector<Rgba>(4, {1.0f, 0.0f, 0.0f, 0.0f}));
    Layer custom(1, 1, {{0.0f, 0.0f, 1.0f, 1.0f}});
    Target target(2, 2);
    parameters.count = 1;
    parameters.layerAlpha = 0.5;
    const Rgba overlaid = hostOrder({0.0f, 0.0f, 1.0f, 0.5f});
    int32_t chosen = 0;
    for (int32_t seed = 0; seed < 12; ++seed) {
        parameters.layerRandomSeed = seed * 811;
        const Rgba got = draw(input, target, &custom)[3];
        EXPECT_TRUE(sameColour(got, overlaid) || sameColour(got, kTransparent)) << "seed " << seed;
        chosen += sameColour(got, overlaid);
    }
    EXPECT_GT(chosen, 0);

    // Opacity 0, or no custom layer at all: only the input shows.
    for (const Layer* layer : std::vector<const Layer*>{&custom, nullptr}) {
        parameters.layerAlpha = layer ? 0.0 : 1.0;
        for (int32_t seed = 0; seed < 12; ++seed) {
            parameters.layerRandomSeed = seed * 811;
            EXPECT_TRUE(sameColour(draw(input, target, layer)[3], kTransparent)) << "seed " << seed;
        }
    }
}

} // namespace
} // namespace Tessarine::Lamino
