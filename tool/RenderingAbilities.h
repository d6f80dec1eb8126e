#pragma once

#include <cstdint>
#include <string>

#include "imagefiles/Image.h"

namespace Tessarine::Lamino {

// What an effect's global setup flags declare about rendering it: 16-bit worlds (deep colour),
// float worlds (float colour, which the host only sends through smart rendering) and renders
// from several threads at once. Plain values.
struct RenderingAbilities {
    bool sixteenBit = false;
    bool floatingPoint = false;
    bool threadSafe = false;

    static RenderingAbilities fromFlags(uint32_t outFlags, uint32_t outFlags2);

    // Whether worlds of this depth are declared (8 bits always are).
    bool renders(ImageDepth depth) const;

    // "8, 16, 32 bits per channel".
    std::string depthsText() const;
};

}  // namespace Tessarine::Lamino
