#include "tool/RenderingAbilities.h"

#include "AE_Effect.h"

namespace Tessarine::Lamino {

RenderingAbilities RenderingAbilities::fromFlags(uint32_t outFlags, uint32_t outFlags2)
{
    RenderingAbilities abilities;
    abilities.sixteenBit = (outFlags & PF_OutFlag_DEEP_COLOR_AWARE) != 0;
    abilities.floatingPoint = (outFlags2 & PF_OutFlag2_FLOAT_COLOR_AWARE) != 0
        && (outFlags2 & PF_OutFlag2_SUPPORTS_SMART_RENDER) != 0;
    abilities.threadSafe = (outFlags2 & PF_OutFlag2_SUPPORTS_THREADED_RENDERING) != 0;
    return abilities;
}

bool RenderingAbilities::renders(ImageDepth depth) const
{
    switch (depth) {
    case ImageDepth::Bits8: return true;
    case ImageDepth::Bits16: return sixteenBit;
    case ImageDepth::Float32: return floatingPoint;
    }
    return false;
}

std::string RenderingAbilities::depthsText() const
{
    return std::string("8") + (sixteenBit ? ", 16" : "") + (floatingPoint ? ", 32" : "")
        + " bits per channel";
}

}  // namespace Tessarine::Lamino
