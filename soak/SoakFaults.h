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
    int64_t layerPixels = 0;  // smart render: the layers' pixels checked out
    WorldFormat format = WorldFormat::Argb8;
    // The custom layer's parameter, which a smart render checks out as a layer, not as a
    // parameter (0: none).
    int32_t layerParameter = 0;

    static RenderUse between(const HostCounts& before, const HostCounts& after,
                             WorldFormat format, int32_t layerParameter = 0);
};

// One host-call fault of the FaultPlan, ready to inject: the plan, the command it goes into, and
// what the effect must answer. A host call that the command needs and that fails with a code
// ends it with that code as it is (PF_Interrupt_CANCEL and PF_Err_OUT_OF_MEMORY among them: a
// failed checkout or checkin, iteration, layer checkout, handle allocation or lock); one that is
// missing or answers without a code (a null function, no pixel address, a missing suite) ends it
// with PF_Err_BAD_CALLBACK_PARAM; a failed declaration returns the host's own code; a fault in a
// call the command does not need leaves the frame correct. A render never succeeds with a
// control it could not read.
struct SoakFault {
    std::string kind;
    FaultedCommand command = FaultedCommand::Render;
    FaultPlan plan;

    // The code the command must return; for a render, given what a clean render called.
    PF_Err expected(const RenderUse& use, int32_t declaredParameters) const;
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
