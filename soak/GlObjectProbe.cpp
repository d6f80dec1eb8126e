#include "soak/GlObjectProbe.h"

#include <windows.h>

namespace Tessarine::Lamino {

namespace {

// GLboolean glIsX(GLuint name); declared here so that no OpenGL header is needed.
using IsName = unsigned char(WINAPI*)(unsigned int);

// Functions past OpenGL 1.1 come from the driver of the current context.
IsName glFunction(const char* name)
{
    PROC address = wglGetProcAddress(name);
    if (address == nullptr) {
        address = GetProcAddress(GetModuleHandleA("opengl32.dll"), name);
    }
    return reinterpret_cast<IsName>(reinterpret_cast<void*>(address));
}

}  // namespace

const char* GlObjectCounts::kindName(int kind)
{
    static const char* const names[kKinds] = {"textures", "buffers", "renderbuffers",
                                              "framebuffers", "programs", "shaders",
                                              "vertex arrays"};
    return kind >= 0 && kind < kKinds ? names[kind] : "?";
}

GlObjectCounts GlObjectCounts::probeCurrentContext()
{
    GlObjectCounts counts;
    if (wglGetCurrentContext() == nullptr) {
        return counts;
    }
    const IsName functions[kKinds] = {glFunction("glIsTexture"), glFunction("glIsBuffer"),
                                      glFunction("glIsRenderbuffer"),
                                      glFunction("glIsFramebuffer"), glFunction("glIsProgram"),
                                      glFunction("glIsShader"), glFunction("glIsVertexArray")};
    for (int kind = 0; kind < kKinds; ++kind) {
        if (functions[kind] == nullptr) {
            return counts;
        }
        uint32_t highest = 0;
        for (uint32_t name = 1; name <= highest + kGap && name <= kLimit; ++name) {
            if (functions[kind](name)) {
                ++counts.live[kind];
                highest = name;
            }
        }
        counts.highestName[kind] = highest;
    }
    counts.measured = true;
    return counts;
}

}  // namespace Tessarine::Lamino
