#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace Tessarine::Lamino {

// Live OpenGL objects of the context current on the calling thread, counted by asking glIs*
// of every name from 1 up: the host cannot see the effect's GL calls (the effect links its own
// loader), but called from inside one of the effect's callbacks, while the effect's own context
// is current, it can ask that context. Names are probed up to kGap past the highest live one
// (at most kLimit), so that a driver which never reuses names is still followed.
//
// Textures, buffers, renderbuffers, programs and shaders are shared by the contexts of one
// share group; framebuffers and vertex arrays belong to the current context alone.
struct GlObjectCounts {
    enum Kind { Textures, Buffers, Renderbuffers, Framebuffers, Programs, Shaders, VertexArrays };
    static constexpr int kKinds = 7;
    static constexpr uint32_t kGap = 1024;
    static constexpr uint32_t kLimit = 1u << 20;

    std::array<int64_t, kKinds> live{};
    std::array<uint32_t, kKinds> highestName{};
    bool measured = false;  // false: no context current, or a glIs* function missing

    static const char* kindName(int kind);
    // Counts on the calling thread's current context.
    static GlObjectCounts probeCurrentContext();
};

}  // namespace Tessarine::Lamino
