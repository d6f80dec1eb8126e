#pragma once

#include <cstdint>
#include <memory>

#include "hosting/World.h"

namespace Tessarine::Lamino {

// The cheapest GPU round trip of a frame, the yardstick of `lamino bench --baseline`: the 8-bit
// frame uploaded into an RGBA8 texture, one textured full-frame draw into an RGBA8 framebuffer,
// and the pixels read back. Kept objects, so that each trip allocates nothing, as a steady render
// should.
//
// Owns an OpenGL 3.3 context of its own on a hidden window, made current on the calling thread
// by each trip (the host's renders restore whatever was current before them). Throws
// std::runtime_error when no such context can be made. One thread at a time.
class BareRoundTrip {
public:
    explicit BareRoundTrip(const World& frame);
    ~BareRoundTrip();
    BareRoundTrip(const BareRoundTrip&) = delete;
    BareRoundTrip& operator=(const BareRoundTrip&) = delete;

    // One trip; returns its time in milliseconds.
    double run();

private:
    struct Objects;
    std::unique_ptr<Objects> objects;
    const World& frame;
};

}  // namespace Tessarine::Lamino
