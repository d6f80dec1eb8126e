#include "tool/GpuLimits.h"

#include "imagefiles/ImageIO.h"
#include "tool/ToolGlContext.h"

#include <algorithm>
#include <mutex>
#include <stdexcept>

#include <glbinding/gl33core/gl.h>

using namespace gl33core;

namespace Tessarine::Lamino {

namespace {

int32_t askTheGpu()
{
    HGLRC previous = wglGetCurrentContext();
    HDC previousDc = wglGetCurrentDC();
    int32_t side = ImageIO::kMaxSide;
    try {
        ToolGlContext context;
        GLint texture = 0, renderbuffer = 0, viewport[2] = {0, 0};
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
        glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
        glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
        int32_t smallest = std::min({texture, renderbuffer, viewport[0], viewport[1]});
        if (smallest > 0) {
            side = smallest;
        }
    } catch (const std::runtime_error&) {
        // No context of our own: the plug-in reports what it cannot render.
    }
    wglMakeCurrent(previousDc, previous);
    return side;
}

}  // namespace

int32_t GpuLimits::maxRenderSide()
{
    static std::once_flag asked;
    static int32_t side = ImageIO::kMaxSide;
    std::call_once(asked, [] { side = askTheGpu(); });
    return side;
}

}  // namespace Tessarine::Lamino
