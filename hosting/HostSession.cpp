#include "hosting/HostSession.h"

#include <algorithm>

#include "hosting/HostCallbacks.h"
#include "hosting/World.h"

namespace Tessarine::Lamino {

HostCommand::HostCommand(HostSession& session, PF_Cmd cmd, const FaultPlan& plan,
                         const PF_EffectWorld* input, SmartRenderState* smart)
    : session(session), command(cmd), faults(plan), inputLayer(input), smart(smart)
{
    HostCallbacks::install(*this);
    HostCallbacks::removeCallbacks(*this, plan.nullCallbacks);
}

bool hasNoArea(const PF_LRect& rect)
{
    return rect.left >= rect.right || rect.top >= rect.bottom;
}

PF_LRect clippedRect(const PF_LRect& rect, const PF_LRect& bounds)
{
    const PF_LRect both{std::max(rect.left, bounds.left), std::max(rect.top, bounds.top),
                        std::min(rect.right, bounds.right), std::min(rect.bottom, bounds.bottom)};
    return hasNoArea(both) ? PF_LRect{0, 0, 0, 0} : both;
}

PF_LRect rectAt(const int32_t origin[2], const PF_EffectWorld& world)
{
    return PF_LRect{origin[0], origin[1], origin[0] + world.width, origin[1] + world.height};
}

PF_EffectWorld worldPart(const PF_EffectWorld& world, const int32_t origin[2],
                         const PF_LRect& rect)
{
    PF_EffectWorld part = world;
    const bool empty = hasNoArea(rect);
    part.width = empty ? 0 : rect.right - rect.left;
    part.height = empty ? 0 : rect.bottom - rect.top;
    part.origin_x = empty ? 0 : rect.left;
    part.origin_y = empty ? 0 : rect.top;
    if (!empty && world.data != nullptr) {
        const size_t pixel = World::pixelSizeOf(World::formatOf(world));
        auto* first = reinterpret_cast<uint8_t*>(world.data);
        part.data = reinterpret_cast<PF_PixelPtr>(
            first + ptrdiff_t(rect.top - origin[1]) * world.rowbytes +
            ptrdiff_t(rect.left - origin[0]) * ptrdiff_t(pixel));
    }
    part.extent_hint = PF_Rect{0, 0, part.width, part.height};
    return part;
}

}  // namespace Tessarine::Lamino
