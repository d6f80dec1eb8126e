#include "hosting/HostSession.h"

#include "hosting/HostCallbacks.h"

namespace Tessarine::Lamino {

HostCommand::HostCommand(HostSession& session, PF_Cmd cmd, const FaultPlan& plan,
                         const PF_EffectWorld* input, SmartRenderState* smart)
    : session(session), command(cmd), faults(plan), inputLayer(input), smart(smart)
{
    HostCallbacks::install(*this);
    HostCallbacks::removeCallbacks(*this, plan.nullCallbacks);
}

}  // namespace Tessarine::Lamino
