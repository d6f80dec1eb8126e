// What the soak samples of the process and of the current GL context: a window, a kernel handle
// and GL textures made in between show as one more each, and go again.

#include <windows.h>

#include <gtest/gtest.h>

#include "soak/GlObjectProbe.h"
#include "hosting/OwnGlContext.h"
#include "soak/ProcessResources.h"

namespace Tessarine::Lamino {
namespace {

HWND makeWindow()
{
    return CreateWindowExA(0, "STATIC", "probe", 0, 0, 0, 8, 8, nullptr, nullptr, nullptr,
                           nullptr);
}

TEST(ProcessResources, AWindowAndAHandleShowAndGo)
{
    // A thread's first window brings its message queue and input window: one window stays.
    HWND first = makeWindow();
    const ProcessResources before = ProcessResources::sample();
    ASSERT_TRUE(before.kernelHandlesMeasured);
    ASSERT_TRUE(before.memoryMeasured);
    EXPECT_GT(before.privateBytes, 0);
    HWND window = makeWindow();
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const ProcessResources during = ProcessResources::sample();
    EXPECT_EQ(during.windows, before.windows + 1);
    EXPECT_EQ(during.kernelHandles, before.kernelHandles + 1);
    DestroyWindow(window);
    CloseHandle(event);
    const ProcessResources after = ProcessResources::sample();
    EXPECT_EQ(after.windows, before.windows);
    EXPECT_EQ(after.kernelHandles, before.kernelHandles);
    EXPECT_EQ(after.guiObjectsMeasured, ProcessResources::guiObjectsNote().empty());
    DestroyWindow(first);
}

using GenOrDelete = void(WINAPI*)(int, unsigned int*);
using Bind = void(WINAPI*)(unsigned int, unsigned int);

TEST(GlObjectProbe, CountsTexturesOfTheCurrentContext)
{
    EXPECT_FALSE(GlObjectCounts::probeCurrentContext().measured);  // no context current
    OwnGlContext own;
    HMODULE gl = GetModuleHandleA("opengl32.dll");
    auto function = [gl](const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(gl, name));
    };
    auto gen = reinterpret_cast<GenOrDelete>(function("glGenTextures"));
    auto remove = reinterpret_cast<GenOrDelete>(function("glDeleteTextures"));
    auto bind = reinterpret_cast<Bind>(function("glBindTexture"));
    ASSERT_TRUE(gen && remove && bind);
    const GlObjectCounts before = GlObjectCounts::probeCurrentContext();
    ASSERT_TRUE(before.measured);
    unsigned int names[3] = {};
    gen(3, names);
    for (unsigned int name : names) {
        bind(0x0DE1, name);  // GL_TEXTURE_2D: a texture exists once it is bound
    }
    bind(0x0DE1, 0);
    const GlObjectCounts made = GlObjectCounts::probeCurrentContext();
    EXPECT_EQ(made.live[GlObjectCounts::Textures], before.live[GlObjectCounts::Textures] + 3);
    EXPECT_GE(made.highestName[GlObjectCounts::Textures], names[2]);
    remove(3, names);
    EXPECT_EQ(GlObjectCounts::probeCurrentContext().live[GlObjectCounts::Textures],
              before.live[GlObjectCounts::Textures]);
}

} // namespace
} // namespace Tessarine::Lamino
