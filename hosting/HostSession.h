#pragma once

#include "AE_Effect.h"
#include "AE_EffectCB.h"
#include "AE_EffectCBSuites.h"
#include "SPBasic.h"
#include "hosting/FaultPlan.h"
#include "hosting/HandleHeap.h"
#include "hosting/HostLedger.h"
#include "hosting/ParameterStore.h"

#include <functional>
#include <map>
#include <vector>

namespace Tessarine::Lamino {

// What one effect instance keeps from command to command: its parameters and their values, the
// books and the handle memory. Its address is the effect_ref the effect is given. Owned by
// HeadlessHost; every member guards itself, so commands on several threads may use it at once.
struct HostSession {
    PF_ProgPtr effectRef() { return reinterpret_cast<PF_ProgPtr>(this); }

    ParameterStore parameters;
    HostLedger ledger;
    HandleHeap handles;

    // Called on the rendering thread after each successful checkout_param, with the index;
    // set while no command runs (HeadlessHost::observeCheckouts).
    std::function<void(PF_ParamIndex)> checkoutObserver;
    // Called on the rendering thread when the effect asks for a world's pixels
    // (get_pixel_data8 / get_pixel_data16) or iterates over float pixels, while the effect's
    // command runs; set while no command runs (HeadlessHost::observePixelAccess).
    std::function<void()> pixelObserver;
};

// What the smart-render pair of commands share: the layers the effect checked out in
// PF_Cmd_SMART_PRE_RENDER, by checkout id, and what of them PF_Cmd_SMART_RENDER holds.
//
// Positions are in each layer's buffer pixels, from its top-left: the input world's first pixel
// lies at inputOrigin and its max_result_rect is inputBounds; the output world covers the area
// from outputOrigin on, and the effect is handed the part of it that outputRect (pre-render's
// result rect) covers.
struct SmartRenderState {
    struct Checkout {
        PF_ParamIndex index = 0;
        const PF_EffectWorld* layer = nullptr;  // null: no layer chosen
        int32_t origin[2] = {0, 0};             // where the layer's world lies
        PF_LRect resultRect{};                  // what checkout_layer gave out of it
        PF_EffectWorld pixels{};                // what checkout_layer_pixels hands out
        bool pixelsOut = false;
    };
    const PF_EffectWorld* input = nullptr;
    PF_EffectWorld* output = nullptr;
    int32_t inputOrigin[2] = {0, 0};
    PF_LRect inputBounds{};
    int32_t outputOrigin[2] = {0, 0};
    PF_LRect outputRect{};
    PF_RationalScale pixelAspect{1, 1};
    int32_t layerWidth = 0;   // the input layer's full-resolution size
    int32_t layerHeight = 0;
    PF_EffectWorld outputWorld{};  // what checkout_output hands out
    std::map<A_long, Checkout> checkouts;
    bool outputCheckedOut = false;
};

// Rects in a layer's buffer pixels, as smart render's checkouts and requests give them.
bool hasNoArea(const PF_LRect& rect);
// What both hold; {0, 0, 0, 0} when nothing.
PF_LRect clippedRect(const PF_LRect& rect, const PF_LRect& bounds);
// The rect of a world whose first pixel lies at `origin`.
PF_LRect rectAt(const int32_t origin[2], const PF_EffectWorld& world);

// The part `rect` of a world whose first pixel lies at `origin`, as a world of its own with
// that rect's size and its origin_x/y at the rect's corner, sharing the world's pixels; a rect
// without area gives a world of size 0. The rect must lie inside the world.
PF_EffectWorld worldPart(const PF_EffectWorld& world, const int32_t origin[2],
                         const PF_LRect& rect);

// One command's own state, alive while it runs on its thread: the command, a snapshot of the
// fault plan with the command's counts, the render's input layer, and the callback tables and
// suites handed to the effect (a copy per command, since an effect holds non-const pointers to
// them and faults replace entries). Touched only by the thread that runs the command.
struct HostCommand {
    HostCommand(HostSession& session, PF_Cmd cmd, const FaultPlan& plan,
                const PF_EffectWorld* input, SmartRenderState* smart = nullptr);
    HostCommand(const HostCommand&) = delete;
    HostCommand& operator=(const HostCommand&) = delete;

    HostSession& session;
    PF_Cmd command = -1;
    FaultPlan faults;
    int32_t addParamCalls = 0;
    int32_t handleAllocations = 0;
    const PF_EffectWorld* inputLayer = nullptr;  // parameter 0 during a render
    SmartRenderState* smart = nullptr;           // the smart-render commands only
    // PF_Cmd_PARAMS_SETUP: the declarations add_param makes, which replace the session's when
    // the command ends (commands on other threads meanwhile see the earlier ones).
    ParameterStore declared;
    // The parameter array handed to the effect with the command (null until it is made).
    const std::vector<PF_ParamDef>* handedParams = nullptr;

    PF_InteractCallbacks interact{};
    PF_UtilCallbacks utils{};
    SPBasicSuite basicSuite{};
    PF_ANSICallbacksSuite1 ansiSuite{};
    PF_HandleSuite1 handleSuite{};
    PF_iterateFloatSuite1 iterateFloatSuite{};
    PF_ParamUtilsSuite3 paramUtilsSuite{};
    PF_PreRenderCallbacks preRender{};
    PF_SmartRenderCallbacks smartRender{};
};

}  // namespace Tessarine::Lamino
