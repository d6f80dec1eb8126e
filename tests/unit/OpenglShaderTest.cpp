#include "gl/OpenglShader.h"

#include "support/GlCallLog.h"
#include "support/GlContextTest.h"
#include "support/StdoutCapture.h"

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

using namespace gl;

namespace Tessarine::Lamino {
namespace {

const char* const kVertex = R"(#version 330 core
in vec3 position;
in vec2 input_uv;
out vec2 uv;
void main() { uv = input_uv; gl_Position = vec4(position, 1.0); }
)";

const char* const kFragment = R"(#version 330 core
in vec2 uv;
out vec4 color;
uniform float gain;
uniform int steps;
uniform vec2 shift;
uniform vec4 tint;
uniform sampler2D image;
void main() { color = texture(image, uv + shift) * tint * gain + float(steps); }
)";

// Compiles on its own, but the function it calls is defined nowhere: linking fails.
const char* const kUnlinkableFragment = R"(#version 330 core
out vec4 color;
vec4 missing();
void main() { color = missing(); }
)";

const char* const kBroken = "#version 330 core\nvoid main() { this is not glsl; }\n";

class OpenglShaderTest : public GlContextTest {};

size_t position(const std::vector<std::string>& names, const std::string& name)
{
    return static_cast<size_t>(std::find(names.begin(), names.end(), name) - names.begin());
}

TEST_F(OpenglShaderTest, ConstructionAndAttributesMakeNoGlCall)
{
    GlCallLog log;
    {
        OpenglShader shader(kVertex, kFragment);
        shader.addAttribute("position", 0);
    }
    EXPECT_TRUE(log.names().empty());
}

TEST_F(OpenglShaderTest, BindsAttributesInNameOrderBeforeLinkingFirstLocationStays)
{
    OpenglShader shader(kVertex, kFragment);
    shader.addAttribute("position", 0);
    shader.addAttribute("input_uv", 1);
    shader.addAttribute("position", 5);
    GlCallLog log;
    shader.use();

    ASSERT_NE(shader.program(), 0u);
    const std::string program = std::to_string(shader.program());
    EXPECT_EQ(log.calls("glBindAttribLocation"),
              (std::vector<std::string>{"glBindAttribLocation(" + program + ", 1, \"input_uv\")",
                                        "glBindAttribLocation(" + program + ", 0, \"position\")"}));
    const auto names = log.names();
    EXPECT_LT(position(names, "glBindAttribLocation"), position(names, "glLinkProgram"));
    EXPECT_EQ(glGetAttribLocation(shader.program(), "position"), 0);
    EXPECT_EQ(glGetAttribLocation(shader.program(), "input_uv"), 1);
    EXPECT_EQ(log.calls("glUseProgram").back(), "glUseProgram(" + program + ")");
}

TEST_F(OpenglShaderTest, SuccessfulBuildKeepsOnlyTheProgram)
{
    OpenglShader shader(kVertex, kFragment);
    GlCallLog log;
    StdoutCapture output;
    shader.use();
    shader.use();

    EXPECT_EQ(output.text(), "");
    EXPECT_EQ(log.count("glCreateProgram"), 1u);
    EXPECT_EQ(log.count("glCompileShader"), 2u);
    EXPECT_EQ(log.count("glDetachShader"), 2u);
    EXPECT_EQ(log.count("glDeleteShader"), 2u);
    EXPECT_EQ(log.count("glUseProgram"), 2u);
    EXPECT_EQ(glIsProgram(shader.program()), GL_TRUE);
}

TEST_F(OpenglShaderTest, VertexCompileFailurePrintsItsLogAndSkipsTheFragmentShader)
{
    OpenglShader shader(kBroken, kFragment);
    GlCallLog log;
    StdoutCapture output;
    shader.use();
    const std::string first = output.text();

    EXPECT_EQ(first.rfind("Shader vert error:\n", 0), 0u) << first;
    EXPECT_GT(first.size(), std::string("Shader vert error:\n\n").size()) << "no driver log";
    EXPECT_EQ(first.back(), '\n');
    EXPECT_EQ(log.count("glCreateShader"), 2u);
    EXPECT_EQ(log.count("glCompileShader"), 1u);
    EXPECT_EQ(log.count("glCreateProgram"), 0u);
    EXPECT_EQ(log.count("glDeleteShader"), 2u);
    EXPECT_EQ(log.calls("glUseProgram"), std::vector<std::string>{"glUseProgram(0)"});
    EXPECT_EQ(shader.program(), 0u);

    StdoutCapture again;
    shader.use();
    EXPECT_EQ(again.text(), first);
}

TEST_F(OpenglShaderTest, FragmentCompileFailurePrintsTheFragmentLog)
{
    OpenglShader shader(kVertex, kBroken);
    StdoutCapture output;
    shader.use();

    EXPECT_EQ(output.text().rfind("Shader frag error:\n", 0), 0u) << output.text();
    EXPECT_EQ(shader.program(), 0u);
}

TEST_F(OpenglShaderTest, LinkFailurePrintsTheProgramLogAndDeletesTheProgram)
{
    OpenglShader shader(kVertex, kUnlinkableFragment);
    GlCallLog log;
    StdoutCapture output;
    shader.use();
    const std::string text = output.text();

    EXPECT_EQ(text.rfind("Program error:\n", 0), 0u) << text;
    EXPECT_GT(text.size(), std::string("Program error:\n\n").size()) << "no driver log";
    EXPECT_EQ(shader.program(), 0u);
    EXPECT_EQ(log.count("glDeleteProgram"), 1u);
    EXPECT_EQ(log.count("glDeleteShader"), 2u);
}

TEST_F(OpenglShaderTest, UniformSettersSetTheValues)
{
    OpenglShader shader(kVertex, kFragment);
    shader.use();
    shader.setUniform("gain", 0.5f);
    shader.setUniform("steps", int32_t(7));
    shader.setUniform("shift", std::pair<double, double>(0.25, -1.0 / 3.0));
    shader.setUniform("tint", 1.0f, 2.0f, 3.0f, 4.0f);

    const GLuint program = shader.program();
    float gain = 0, shift[2] = {}, tint[4] = {};
    GLint steps = 0;
    glGetUniformfv(program, glGetUniformLocation(program, "gain"), &gain);
    glGetUniformiv(program, glGetUniformLocation(program, "steps"), &steps);
    glGetUniformfv(program, glGetUniformLocation(program, "shift"), shift);
    glGetUniformfv(program, glGetUniformLocation(program, "tint"), tint);
    EXPECT_EQ(gain, 0.5f);
    EXPECT_EQ(steps, 7);
    EXPECT_EQ(shift[0], 0.25f);
    EXPECT_EQ(shift[1], static_cast<float>(-1.0 / 3.0));
    EXPECT_EQ(tint[3], 4.0f);

    shader.setUniform("shift", 0.5f, 0.75f);
    glGetUniformfv(program, glGetUniformLocation(program, "shift"), shift);
    EXPECT_EQ(shift[1], 0.75f);
}

// Locations are looked up once, when the program links: setters make only glUniform calls, and
// none at all for a uniform the program lacks.
TEST_F(OpenglShaderTest, UniformLocationsAreLookedUpOnceAtLinkAndAbsentOnesMakeNoCall)
{
    OpenglShader shader(kVertex, kFragment);
    GlCallLog build;
    shader.use();
    EXPECT_EQ(build.count("glGetUniformLocation"), 5u) << "gain, steps, shift, tint, image";

    GlCallLog log;
    shader.setUniform("absent", 1.0f);
    shader.setUniform("absent", int32_t(1));
    shader.setUniform("absent", 1.0f, 2.0f);
    shader.setUniform("absent", 1.0f, 2.0f, 3.0f, 4.0f);
    EXPECT_TRUE(log.names().empty());
    shader.setUniform("gain", 2.0f);
    shader.setUniform("tint", 1.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(log.names(), (std::vector<std::string>{"glUniform1f", "glUniform4f"}));
}

TEST_F(OpenglShaderTest, SetTextureOnUnitOneActivatesItBindsAndPointsTheSampler)
{
    OpenglShader shader(kVertex, kFragment);
    shader.use();
    GLuint texture = 0;
    glGenTextures(1, &texture);
    GlCallLog log;
    shader.setTexture("image", GL_TEXTURE_2D, texture, 1);

    const GLint location = glGetUniformLocation(shader.program(), "image");
    EXPECT_EQ(log.calls("glActiveTexture"), std::vector<std::string>{"glActiveTexture(GL_TEXTURE1)"});
    EXPECT_EQ(log.calls("glBindTexture"),
              std::vector<std::string>{"glBindTexture(GL_TEXTURE_2D, " + std::to_string(texture) +
                                       ")"});
    EXPECT_EQ(log.calls("glUniform1i"),
              std::vector<std::string>{"glUniform1i(" + std::to_string(location) + ", 1)"});
    glActiveTexture(GL_TEXTURE0);
    glDeleteTextures(1, &texture);
}

TEST_F(OpenglShaderTest, AttributePointersEnableReadAndDisable)
{
    OpenglShader shader(kVertex, kFragment);
    shader.use();
    GlCallLog log;
    shader.setAttributePointer3(0, 0, 20);
    shader.setAttributePointer2(1, 12, 20);
    shader.disableAttribute(0);

    EXPECT_EQ(log.names(), (std::vector<std::string>{"glEnableVertexAttribArray",
                                                     "glVertexAttribPointer",
                                                     "glEnableVertexAttribArray",
                                                     "glVertexAttribPointer",
                                                     "glDisableVertexAttribArray"}));
    const auto pointers = log.calls("glVertexAttribPointer");
    EXPECT_EQ(pointers[0].rfind("glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 20, ", 0), 0u)
        << pointers[0];
    EXPECT_EQ(pointers[1].rfind("glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 20, ", 0), 0u)
        << pointers[1];
}

// Never used and failed to build alike: the program is 0, and nothing may touch GL state.
TEST_F(OpenglShaderTest, UnbuiltProgramMakesNoGlCallInSettersOrDestructor)
{
    StdoutCapture quiet;
    auto failed = std::make_unique<OpenglShader>(kBroken, kFragment);
    failed->use();
    auto unused = std::make_unique<OpenglShader>(kVertex, kFragment);
    GlCallLog log;
    for (OpenglShader* shader : {failed.get(), unused.get()}) {
        shader->setUniform("gain", 1.0f);
        shader->setUniform("steps", int32_t(1));
        shader->setUniform("shift", 1.0f, 2.0f);
        shader->setUniform("shift", std::pair<double, double>(1.0, 2.0));
        shader->setUniform("tint", 1.0f, 2.0f, 3.0f, 4.0f);
        shader->setTexture("image", GL_TEXTURE_2D, 1, 1);
        shader->setAttributePointer3(0, 0, 20);
        shader->setAttributePointer2(1, 12, 20);
        shader->disableAttribute(0);
    }
    failed.reset();
    unused.reset();
    EXPECT_TRUE(log.names().empty()) << log.names().front();
}

TEST_F(OpenglShaderTest, DestroyingABuiltShaderDeletesItsProgram)
{
    auto shader = std::make_unique<OpenglShader>(kVertex, kFragment);
    shader->use();
    const GLuint program = shader->program();
    glUseProgram(0);
    shader.reset();
    EXPECT_EQ(glIsProgram(program), GL_FALSE);
}

} // namespace
} // namespace Tessarine::Lamino
