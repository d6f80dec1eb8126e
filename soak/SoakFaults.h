#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "AE_Effect.h"
#include "hosting/FaultPlan.h"
#include "hosting/HostLedger.h"
#include "soak/SoakCases.h"

namespace Tessarine::Lamino {

// The command a fault is injected into.
enum class FaultedCommand { Render, ParamsSetup, About };

// What a clean render of the same kind called, from the host's counts: which host calls a fault
// can reach in it.
struct RenderUse {
    int64_t pixelData = 0;
    int64_t suites = 0;
    int64_t handles = 0;
    int64_t iterations = 0;
    WorldFormat format = WorldFormat::Argb8;

    static RenderUse between(const HostCounts& before, const HostCounts& after,
                             WorldFormat format);
};

// One host-call fault of the FaultPlan, ready to inject: the plan, the command it goes into, and
// what the effect must answer. A failed host call that the command needs ends it with
// PF_Err_BAD_CALLBACK_PARAM; a failed declaration returns the host's own code; a fault in a call
// the command does not need leaves the frame correct. Controls whose reads fail keep the value of
// the render before (or their defaults), and a failed read of the custom layer means none.
struct SoakFault {
    std::string kind;
    FaultedCommand command = FaultedCommand::Render;
    FaultPlan plan;
    std::set<int32_t> unreadControls;  // parameter indices whose checkout fails
    bool noControlsRead = false;       // checkout or checkin missing: nothing is read

    // The code the command must return; for a render, given what a clean render called.
    PF_Err expected(const RenderUse& use, int32_t declaredParameters) const;
    bool controlUnread(int32_t index) const;
};

// Every fault the FaultPlan offers, by kind.
class SoakFaults {
public:
    static const std::vector<std::string>& kinds();
    // A fault of `kind` with random particulars (which call, which code), for an effect with
    // `parameters` declared parameters.
    static SoakFault make(const std::string& kind, SoakCases& random, int32_t parameters);
};

}  // namespace Tessarine::Lamino
