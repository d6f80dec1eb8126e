#include "gl/GlErrors.h"

#include <glbinding/gl/gl.h>

#include "gl/GpuFailure.h"

using namespace gl;

namespace Tessarine::Lamino {

namespace {

// GL keeps one flag per error kind; a context that lost its device keeps reporting, so the
// reading stops after a few rounds instead of looping.
constexpr int kMostFlags = 8;

} // namespace

void clearGlErrors()
{
    for (int i = 0; i < kMostFlags && glGetError() != GL_NO_ERROR; ++i) {
    }
}

void requireAllocated()
{
    // Out of memory or a size the driver refuses: either way the object holds no storage.
    bool failed = false;
    for (int i = 0; i < kMostFlags && glGetError() != GL_NO_ERROR; ++i) {
        failed = true;
    }
    if (failed)
        throw GpuFailure{GpuFailure::Kind::OutOfMemory};
}

} // namespace Tessarine::Lamino
