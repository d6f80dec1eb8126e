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
}

}  // namespace Tessarine::Lamino
