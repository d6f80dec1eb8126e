#include "headless/HostSession.h"

#include "headless/HostCallbacks.h"

namespace Tessarine::Lamino {

HostSession::HostSession()
{
    HostCallbacks::install(*this);
}

void HostSession::beginCommand(PF_Cmd cmd, const FaultPlan& plan, const PF_EffectWorld* input)
{
    command = cmd;
    faults = plan;
    addParamCalls = 0;
    handleAllocations = 0;
    inputLayer = input;
    HostCallbacks::install(*this);
    HostCallbacks::removeCallbacks(*this, plan.nullCallbacks);
}

}  // namespace Tessarine::Lamino
