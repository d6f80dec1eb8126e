#pragma once

#include "AE_Effect.h"
#include "AE_EffectCB.h"
#include "AE_EffectCBSuites.h"
#include "SPBasic.h"
#include "headless/FaultPlan.h"
#include "headless/HandleHeap.h"
#include "headless/HostLedger.h"
#include "headless/ParameterStore.h"

#include <functional>

namespace Tessarine::Lamino {

// Everything the host's callbacks work on for one effect instance: its parameters and their
// values, the books, the handle memory, the callback tables and suites handed to the effect (one
// copy per instance, since an effect holds non-const pointers to them), and the facts of the
// command that is running. Its address is the effect_ref the effect is given. Owned by
// HeadlessHost; the command fields are touched only by the thread that runs the command, under
// the host's command lock.
struct HostSession {
    HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    PF_ProgPtr effectRef() { return reinterpret_cast<PF_ProgPtr>(this); }

    // Starts a command: its fault plan (a snapshot) and per-command counts.
    void beginCommand(PF_Cmd cmd, const FaultPlan& plan, const PF_EffectWorld* input);

    ParameterStore parameters;
    HostLedger ledger;
    HandleHeap handles;

    PF_Cmd command = -1;
    FaultPlan faults;
    int32_t addParamCalls = 0;
    int32_t handleAllocations = 0;
    const PF_EffectWorld* inputLayer = nullptr;  // parameter 0 during a render

    PF_InteractCallbacks interact{};
    PF_UtilCallbacks utils{};
    SPBasicSuite basicSuite{};
    PF_ANSICallbacksSuite1 ansiSuite{};
    PF_HandleSuite1 handleSuite{};
    PF_iterateFloatSuite1 iterateFloatSuite{};

    // Called on the rendering thread after each successful checkout_param, with the index;
    // set while no command runs (HeadlessHost::observeCheckouts).
    std::function<void(PF_ParamIndex)> checkoutObserver;
};

}  // namespace Tessarine::Lamino
