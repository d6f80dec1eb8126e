#pragma once

#include <cstdint>

namespace Tessarine::Lamino {

// The largest frame side the GPU the tool runs on can render: the smallest of its largest
// texture, renderbuffer and viewport, asked once per process in an OpenGL 3.3 context of the
// tool's own (the context that was current is current again afterwards). Where no such context
// can be made, ImageIO::kMaxSide. Any thread.
class GpuLimits {
public:
    static int32_t maxRenderSide();
};

}  // namespace Tessarine::Lamino
